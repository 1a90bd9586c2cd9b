#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "column_proposal.h"
#include "layout_guess.h"
#include "posix_file.h"
#include "preview_model.h"
#include "setup_record.h"

class QButtonGroup;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace Ui {
class Form2;
}

namespace vantrelix {

struct ProgramState;
class PreviewColumnModel;
class PreviewList;
class TForm1;
class TUpDown;

// The field selector: the operator picks the source file, the column of each
// output field, the header flag and the date and time layouts, with a
// preview of what each choice picks. Closing always stores the settings.
class TForm2 : public QDialog {
  Q_OBJECT

 public:
  TForm2(ProgramState& state, TForm1& form1, QWidget* parent = nullptr);
  ~TForm2() override;

  // Opens the window modally; FormActivate runs once it is open.
  int ShowModal();
  // Fits the window into `available`: the design's size and place where
  // they fit, else as much as fits, the rest reached by scrolling.
  void FitScreen(const QRect& available);
  QScrollArea* ScrollArea() const { return scrollArea_; }

  void FormActivate();
  void LoadUp();
  void Edit1Click();
  void UpDownClick(int column);
  void CheckBox1Click();
  // The field delimiter: every preview splits its lines anew.
  void ComboBox3Change();
  void RadioGroup1Click();
  // Stores the controls and the settings file; false when that failed.
  bool FormClose();

  QFileDialog* OpenDialog1() const { return openDialog1_; }
  const PreviewColumnModel& Preview(int column) const { return *models_[column]; }

  // What the pass would make of the previewed dates and times, recomputed
  // from the controls whenever one of them changes.
  void ShowReadings();
  QLabel* DateReading() const { return dateReading_; }
  QLabel* TimeReading() const { return timeReading_; }
  QPushButton* DateSuggestion() const { return dateSuggestion_; }
  QPushButton* TimeSuggestion() const { return timeSuggestion_; }

  // A source file the operator has just chosen: its rows are shown at once,
  // with the columns, header flag and readings proposed for it.
  void NewSource();
  // Beside each field's position: where its proposed column came from.
  QLabel* Origin(int column) const { return origins_[column]; }
  // On opening: the proposal for the stored file, offered when it differs
  // from the stored settings.
  QPushButton* ProposalButton() const { return proposalButton_; }
  // On a first start (the settings still name the sample that nothing
  // installed): what to do first, in place of an error box.
  QLabel* FirstStepHint() const { return firstStepHint_; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Where the design puts the window, and what its frame adds to its size.
  static constexpr QPoint kDesignPlace{231, 36};
  static constexpr QSize kDesignFrame{1213 - 1211, 772 - 747};

  int SelectedRadioItem() const;
  // Names for screen readers, label buddies and mnemonics.
  void NameControls();
  // The settings still name the default sample, and it is not there.
  bool AwaitsFirstChoice(const std::string& name) const;

  // A box filled with bytes that are not UTF-8 shows them decoded; they come
  // back byte for byte unless the operator changed the text.
  struct ShownBytes {
    std::string bytes;
    QString text;
  };
  static void Show(QLineEdit* box, ShownBytes& shown, const std::string& bytes);
  static std::string BytesOf(const QLineEdit* box, const ShownBytes& shown);
  std::string SourceName() const;
  static int32_t ChosenLayout(const QComboBox* box);
  // The record with the layouts and delimiting characters of the controls,
  // as closing would store them.
  SetupRecord ChosenReading() const;
  ColumnProposal ProposalFor(const std::string& name) const;
  // Sets the controls to the proposal, rebuilds the preview once and marks
  // each field with where its column came from.
  void ApplyProposal(const ColumnProposal& proposal);
  void OfferProposal();
  // Parts of the window beside the design: the readings lines and their
  // suggestion buttons, the proposal's marks and button, the scroll area.
  void AddReadingsLines();
  void AddProposalMarks();
  void PutIntoScrollArea();
  // Reads the file and shows its rows; LoadUp repeats it while a change
  // made during the reading asks for another.
  void LoadUpOnce();
  // Reads the file's lines unless they are at hand from an unchanged file.
  void ReadLines(const std::string& name, bool allRecords);
  // The position a field's spinner shows.
  int32_t Position(FieldSlot field) const;
  // Shows the chosen columns of the lines; gives the lines counted, a
  // header included. The readings need the blank rows; a reading under way
  // leaves them out.
  int64_t ShowColumns(bool withBlankRows = true);
  void ShowCount(int64_t count);
  // The window closed or the program is asked to end: no reading goes on.
  bool GivingUp() const;

  ProgramState& state_;
  TForm1& form1_;
  std::unique_ptr<Ui::Form2> ui_;
  QFileDialog* openDialog1_;
  QButtonGroup* radioGroup1_;
  std::array<TUpDown*, kFieldSlotCount> upDowns_{};
  std::array<QLabel*, kFieldSlotCount> positionLabels_{};
  std::array<PreviewList*, kFieldSlotCount> listBoxes_{};
  std::array<PreviewColumnModel*, kFieldSlotCount> models_{};

  ShownBytes shownName_, shownDateDelimiter_, shownTimeDelimiter_;
  std::string previewedName_;
  // The lines of the previewed file, and which file and state they are of.
  struct LinesKey {
    std::string name;
    bool allRecords = false;
    bool valid = false;
    FileVersion version;
    bool operator==(const LinesKey&) const = default;
  };
  PreviewLines lines_;
  LinesKey linesKey_;
  // While the lines are read, events are let through every so often.
  static constexpr int kEventsEveryMs = 30;
  // Before the lines or their held columns change: a readings pass that let
  // events in gives up what it was reading.
  void LinesChanging();
  uint64_t readingsGeneration_ = 0;
  bool filling_ = false;
  struct {
    std::string name;
    bool allRecords = false;
  } fillingKey_;                 // what is being read
  bool refill_ = false;          // a change during the reading asked for another
  bool closing_ = false;         // the window closed during the reading
  std::vector<bool> blankRows_;  // preview rows that came from empty lines
  QLabel* dateReading_;
  QLabel* timeReading_;
  QPushButton* dateSuggestion_;
  QPushButton* timeSuggestion_;
  LayoutChoice dateSuggested_, timeSuggested_;
  std::array<QLabel*, kFieldSlotCount> origins_{};
  QPushButton* proposalButton_;
  QLabel* firstStepHint_;
  QWidget* content_;
  QScrollArea* scrollArea_;
  ColumnProposal offered_;
};

}  // namespace vantrelix

#pragma once

#include <QDialog>

#include <array>
#include <memory>
#include <string>

class QButtonGroup;
class QFileDialog;
class QLabel;
class QListView;

namespace Ui {
class Form2;
}

namespace vantrelix {

struct ProgramState;
class PreviewColumnModel;
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

  void FormActivate();
  void LoadUp();
  void Edit1Click();
  void UpDownClick(int column);
  void CheckBox1Click();
  void RadioGroup1Click();
  // Stores the controls and the settings file; false when that failed.
  bool FormClose();

  std::string Comma(std::string_view line, int32_t column) const;

  QFileDialog* OpenDialog1() const { return openDialog1_; }
  const PreviewColumnModel& Preview(int column) const { return *models_[column]; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int SelectedRadioItem() const;

  ProgramState& state_;
  TForm1& form1_;
  std::unique_ptr<Ui::Form2> ui_;
  QFileDialog* openDialog1_;
  QButtonGroup* radioGroup1_;
  std::array<TUpDown*, 7> upDowns_{};
  std::array<QLabel*, 7> positionLabels_{};
  std::array<QListView*, 7> listBoxes_{};
  std::array<PreviewColumnModel*, 7> models_{};
};

}  // namespace vantrelix

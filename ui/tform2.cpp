#include "tform2.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>

#include "accessibility.h"
#include "boxes.h"
#include "comma.h"
#include "conversion_run.h"
#include "field_selector_text.h"
#include "normalise.h"
#include "posix_file.h"
#include "preview_list.h"
#include "preview_model.h"
#include "preview_readings.h"
#include "program_state.h"
#include "settings_text.h"
#include "setup_file.h"
#include "source_file.h"
#include "text_file.h"
#include "tform1.h"
#include "ui_form2.h"
#include "unread.h"
#include "updown.h"

namespace vantrelix {

TForm2::TForm2(ProgramState& state, TForm1& form1, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      state_(state),
      form1_(form1),
      ui_(std::make_unique<Ui::Form2>()),
      openDialog1_(new QFileDialog(this)),
      radioGroup1_(new QButtonGroup(this)) {
  ui_->setupUi(this);
  move(kDesignPlace);     // setupUi applies only the size
  ui_->Label38->clear();  // no count before a file is read

  upDowns_ = {ui_->UpDown1, ui_->UpDown2, ui_->UpDown3, ui_->UpDown4,
              ui_->UpDown5, ui_->UpDown6, ui_->UpDown7};
  positionLabels_ = {ui_->Label51, ui_->Label52, ui_->Label53, ui_->Label54,
                     ui_->Label55, ui_->Label56, ui_->Label57};
  // Labels take the size of their text; the position labels keep their box.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != ui_->Image1 &&
        std::find(positionLabels_.begin(), positionLabels_.end(), label) == positionLabels_.end()) {
      label->adjustSize();
    }
  }
  listBoxes_ = {ui_->ListBox1, ui_->ListBox2, ui_->ListBox3, ui_->ListBox4,
                ui_->ListBox5, ui_->ListBox6, ui_->ListBox7};
  for (int k = 0; k < kFieldSlotCount; ++k) {
    models_[k] = new PreviewColumnModel(this);
    listBoxes_[k]->setModel(models_[k]);
    connect(upDowns_[k], &TUpDown::Click, this, [this, k] { UpDownClick(k); });
  }

  for (std::string_view item : kDateLayoutItems) ui_->ComboBox1->addItem(FromBytes(item));
  for (std::string_view item : kTimeLayoutItems) ui_->ComboBox2->addItem(FromBytes(item));
  ui_->ComboBox1->setCurrentIndex(-1);
  ui_->ComboBox2->setCurrentIndex(-1);
  for (std::string_view item : kFieldDelimiterItems) ui_->ComboBox3->addItem(FromBytes(item));
  connect(ui_->ComboBox3, &QComboBox::currentIndexChanged, this, [this] { ComboBox3Change(); });

  radioGroup1_->addButton(ui_->RadioGroup1Item0, 0);
  radioGroup1_->addButton(ui_->RadioGroup1Item1, 1);
  radioGroup1_->setExclusive(true);
  connect(radioGroup1_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) RadioGroup1Click();
  });
  connect(ui_->CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

  // The seven lists scroll as one, so that a row stays beside its line.
  for (PreviewList* list : listBoxes_) {
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
      for (PreviewList* other : listBoxes_) other->verticalScrollBar()->setValue(value);
    });
  }

  openDialog1_->setObjectName("OpenDialog1");
  openDialog1_->setFileMode(QFileDialog::ExistingFile);
  openDialog1_->setOption(QFileDialog::DontUseNativeDialog);
  openDialog1_->setOption(QFileDialog::ReadOnly, false);
  ui_->Edit1->installEventFilter(this);

  AddReadingsLines();
  AddProposalMarks();
  NameControls();
  PutIntoScrollArea();
  setSizeGripEnabled(true);
}

TForm2::~TForm2() = default;

void TForm2::NameControls() {
  InstallAccessibility();
  // A mnemonic on each label, which reaches the control it names; the
  // texts read as before.
  const auto marked = [](const QString& text, int at) {
    return text.left(at) + '&' + text.mid(at);
  };
  const auto mnemonic = [&](QLabel* label, QWidget* buddy, int at) {
    label->setText(marked(label->text(), at));
    label->setBuddy(buddy);
  };
  const auto buttonMnemonic = [&](QAbstractButton* button, int at) {
    button->setText(marked(button->text(), at));
  };
  const std::array<QLabel*, kFieldSlotCount> heads = {
      ui_->Label2, ui_->Label17, ui_->Label18, ui_->Label5, ui_->Label6, ui_->Label7, ui_->Label8};
  const int headKeys[kFieldSlotCount] = {8, 1, 0, 0, 1, 0, 0};  // N, h, D, T, o, L, E
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const QString field = heads[k]->text().simplified();
    upDowns_[k]->setAccessibleName(field + " column");
    listBoxes_[k]->setAccessibleName(field + " preview");
    listBoxes_[k]->setAccessibleDescription("The values of the " + field +
                                            " column; a leading ! marks a value left as it "
                                            "came, a leading ? one read with doubt");
    mnemonic(heads[k], upDowns_[k], headKeys[k]);
  }
  mnemonic(ui_->Label1, ui_->Edit1, 0);  // Source File
  ui_->Edit1->setAccessibleName("Source File");
  ui_->Edit1->setAccessibleDescription(
      "Press Enter, Space or Alt+Down to choose the export in a file dialog");
  mnemonic(ui_->Label44, ui_->ComboBox3, 10);  // Field Deli&miter
  buttonMnemonic(ui_->CheckBox1, 1);           // S&kip Fist Record
  // Told as the radio buttons they are (a screen reader takes a button
  // that is not auto-exclusive for a check box); the group keeps them apart
  // as before.
  ui_->RadioGroup1Item0->setAutoExclusive(true);
  ui_->RadioGroup1Item1->setAutoExclusive(true);
  buttonMnemonic(ui_->RadioGroup1Item0, 0);
  buttonMnemonic(ui_->RadioGroup1Item1, 0);
  mnemonic(ui_->Label40, ui_->ComboBox1, 7);  // Date Fo&rmat
  mnemonic(ui_->Label41, ui_->Edit2, 11);     // Delimiting &Char
  mnemonic(ui_->Label43, ui_->ComboBox2, 1);  // T&ime Format
  mnemonic(ui_->Label42, ui_->Edit3, 9);      // Delimitin&g Char
  // Linux screen readers name a drop-down by its label (the buddy above);
  // the two delimiter boxes share one text, so they get names of their own.
  ui_->ComboBox1->setAccessibleName("Date Format");
  ui_->ComboBox2->setAccessibleName("Time Format");
  ui_->ComboBox3->setAccessibleName("Field Delimiter");
  ui_->Edit2->setAccessibleName("Date Delimiting Char");
  ui_->Edit3->setAccessibleName("Time Delimiting Char");
  ui_->Label38->setAccessibleName("Total Entries");
  ui_->Image1->setAccessibleName("VANTRELIX logo");
}

void TForm2::AddReadingsLines() {
  // Beside the design, next to the date and time boxes: what the pass would
  // make of the preview, and a layout that would read more of it.
  dateReading_ = new QLabel(this);
  timeReading_ = new QLabel(this);
  dateSuggestion_ = new QPushButton(this);
  timeSuggestion_ = new QPushButton(this);
  dateReading_->setObjectName("DateReading");
  timeReading_->setObjectName("TimeReading");
  dateSuggestion_->setObjectName("DateSuggestion");
  timeSuggestion_->setObjectName("TimeSuggestion");
  // In the free band right of the time box, left of the version label.
  dateReading_->move(680, 624);
  dateSuggestion_->move(680, 658);
  timeReading_->move(680, 690);
  timeSuggestion_->move(680, 724);
  for (QLabel* label : {dateReading_, timeReading_}) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFixedSize(400, 32);  // room for two lines
  }
  for (QPushButton* b : {dateSuggestion_, timeSuggestion_}) {
    b->setStyleSheet("padding: 1px 6px;");
    b->hide();
  }
  connect(dateSuggestion_, &QPushButton::clicked, this, [this] {
    ui_->ComboBox1->setCurrentIndex(dateSuggested_.layout);
    if (DateLayoutTakesDelimiter(dateSuggested_.layout)) {
      ui_->Edit2->setText(FromBytes(std::string(1, dateSuggested_.delimiter)));
    }
  });
  connect(timeSuggestion_, &QPushButton::clicked, this, [this] {
    ui_->ComboBox2->setCurrentIndex(timeSuggested_.layout);
    if (TimeLayoutTakesDelimiter(timeSuggested_.layout)) {
      ui_->Edit3->setText(FromBytes(std::string(1, timeSuggested_.delimiter)));
    }
  });
  for (QComboBox* box : {ui_->ComboBox1, ui_->ComboBox2}) {
    connect(box, &QComboBox::currentTextChanged, this, [this, box] {
      box->setToolTip(box->currentText());  // the box is narrower than some items
      ShowReadings();
    });
    // The list shows every item whole, wider than the box if need be.
    int widest = 0;
    for (int i = 0; i < box->count(); ++i) {
      widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
    }
    box->view()->setMinimumWidth(widest +
                                 2 * box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  }
  for (QLineEdit* box : {ui_->Edit1, ui_->Edit2, ui_->Edit3}) {
    connect(box, &QLineEdit::textChanged, this, [this] { ShowReadings(); });
  }
}

int TForm2::ShowModal() {
  if (const QScreen* s = screen()) FitScreen(s->availableGeometry());
  QTimer::singleShot(0, this, [this] { FormActivate(); });
  return exec();
}

void TForm2::FormActivate() {
  closing_ = false;
  RunHandler(state_, [this] {
    const SetupRecord& r = state_.record;
    ui_->Label39->setText(form1_.VersionText());
    for (QLabel* origin : origins_) origin->hide();
    Show(ui_->Edit1, shownName_, r.SourceFileName());
    for (int k = 0; k < kFieldSlotCount; ++k) {
      positionLabels_[k]->setText(QString::number(r.Position(static_cast<FieldSlot>(k))));
    }
    for (int k = 0; k < kFieldSlotCount; ++k) {
      upDowns_[k]->SetPosition(
          static_cast<int16_t>(r.Position(static_cast<FieldSlot>(k)) & 0xFFFF));
    }
    ui_->CheckBox1->setChecked(r.SkipFirstLine() == 1);  // a change runs CheckBox1Click
    ui_->RadioGroup1Item0->setChecked(true);             // a change runs RadioGroup1Click
    const auto select = [](QComboBox* box, int32_t index) {
      box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(ui_->ComboBox1, r.DateLayout());
    select(ui_->ComboBox2, r.TimeLayout());
    {
      const QSignalBlocker blocker(ui_->ComboBox3);  // LoadUp below shows it
      ui_->ComboBox3->setCurrentIndex(static_cast<int>(r.Delimiter()));
    }
    LinesChanging();
    lines_.SetDelimiter(r.Delimiter());
    Show(ui_->Edit2, shownDateDelimiter_, std::string(1, r.DateDelimiter()));
    Show(ui_->Edit3, shownTimeDelimiter_, std::string(1, r.TimeDelimiter()));
    LoadUp();
    OfferProposal();
    // A first start begins where the hint points.
    if (!firstStepHint_->isHidden()) {
      ui_->Edit1->setFocus();
    } else {
      upDowns_[0]->setFocus();
    }
  });
}

int TForm2::SelectedRadioItem() const {
  return radioGroup1_->checkedId();
}

void TForm2::Show(QLineEdit* box, ShownBytes& shown, const std::string& bytes) {
  shown.bytes = bytes;
  shown.text = FromBytes(bytes);
  box->setText(shown.text);
}

std::string TForm2::BytesOf(const QLineEdit* box, const ShownBytes& shown) {
  return box->text() == shown.text ? shown.bytes : ToBytes(box->text());
}

std::string TForm2::SourceName() const {
  return BytesOf(ui_->Edit1, shownName_);
}

int32_t TForm2::ChosenLayout(const QComboBox* box) {
  // An edited text that is none of the items selects no layout.
  return box->findText(box->currentText(), Qt::MatchExactly);
}

SetupRecord TForm2::ChosenReading() const {
  SetupRecord r = state_.record;
  // The columns as the spinners show them: a field without one is said.
  for (int k = 0; k < kFieldSlotCount; ++k) {
    r.SetPosition(static_cast<FieldSlot>(k), upDowns_[k]->Position());
  }
  r.SetDateLayout(ChosenLayout(ui_->ComboBox1));
  r.SetTimeLayout(ChosenLayout(ui_->ComboBox2));
  r.SetDelimiter(lines_.Delimiter());
  // An empty box keeps the delimiting character the record holds.
  const std::string date = BytesOf(ui_->Edit2, shownDateDelimiter_);
  const std::string time = BytesOf(ui_->Edit3, shownTimeDelimiter_);
  if (!date.empty()) r.SetDateDelimiter(date[0]);
  if (!time.empty()) r.SetTimeDelimiter(time[0]);
  return r;
}

void TForm2::LinesChanging() {
  ++readingsGeneration_;
}

void TForm2::ShowReadings() {
  if (filling_) return;  // the fill ends with the readings of the controls as they are then
  // A column of many distinct texts takes seconds at a million lines: the
  // window takes events meanwhile. A change they bring reads anew, and this
  // reading, of what was, is given up where it stands.
  struct GivenUp {};
  const uint64_t generation = ++readingsGeneration_;
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  const auto pause = [&] {
    if (sinceEvents.elapsed() < 30) return;
    QCoreApplication::processEvents();
    sinceEvents.restart();
    if (generation != readingsGeneration_ || GivingUp()) throw GivenUp{};
  };
  PreviewReadings r;
  try {
    // Every layout change reads these two columns whole: held apart from the lines.
    lines_.Hold({Position(FieldSlot::kDate), Position(FieldSlot::kTime)}, pause);
    r = ReadPreview(*models_[static_cast<int>(FieldSlot::kDate)],
                    *models_[static_cast<int>(FieldSlot::kTime)], blankRows_, ChosenReading(),
                    state_.regional, CurrentLocalYear(), ui_->ComboBox1->currentText(),
                    ui_->ComboBox2->currentText(), pause);
  } catch (const GivenUp&) {
    return;
  }
  dateSuggested_ = r.dateSuggested;
  timeSuggested_ = r.timeSuggested;
  for (auto [button, text] :
       {std::pair{dateSuggestion_, r.dateButton}, std::pair{timeSuggestion_, r.timeButton}}) {
    button->setVisible(!text.isEmpty());
    if (text.isEmpty()) continue;
    button->setText(text);
    button->adjustSize();
  }
  const QString stale =
      !previewedName_.empty() && SourceName() != previewedName_ ? " · of the previewed file" : "";
  // Red while the pass would leave something as it came or doubtful.
  for (auto [label, text, warn] : {std::tuple{dateReading_, r.dateText, r.dateWarning},
                                   std::tuple{timeReading_, r.timeText, r.timeWarning}}) {
    label->setText(text + stale);
    label->setStyleSheet(warn ? "color: #b00000;" : "");
  }
}

void TForm2::ShowCount(int64_t count) {
  ui_->Label38->setText(QString::number(count));
  ui_->Label38->adjustSize();
}

int32_t TForm2::Position(FieldSlot field) const {
  return positionLabels_[static_cast<int>(field)]->text().toInt();
}

int64_t TForm2::ShowColumns(bool withBlankRows) {
  // The header line is read but not shown; past the end the pass reads an
  // empty line, so a file of one line shows one empty row under a header.
  const bool header = ui_->CheckBox1->isChecked();
  const size_t n = lines_.Count();
  const size_t first = header && n > 0 ? 1 : 0;
  const int rows = n == 0 ? 0 : static_cast<int>(std::max<size_t>(n - first, 1));
  blankRows_.assign(withBlankRows ? static_cast<size_t>(rows) : 0, false);
  for (int row = 0; withBlankRows && row < rows; ++row) {
    const size_t i = first + static_cast<size_t>(row);
    blankRows_[static_cast<size_t>(row)] = i >= n || lines_.IsEmpty(i);
  }
  for (int k = 0; k < kFieldSlotCount; ++k) {
    models_[k]->Show(&lines_, first, rows, Position(static_cast<FieldSlot>(k)));
  }
  return n == 0 ? 0 : static_cast<int64_t>(first) + rows;
}

void TForm2::Edit1Click() {
  RunHandler(state_, [this] {
    // The current source's folder, else the user's documents.
    const QString current = ui_->Edit1->text();
    const QFileInfo info(current);
    openDialog1_->setDirectory(
        !current.isEmpty() && info.dir().exists()
            ? info.dir().absolutePath()
            : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (info.exists()) openDialog1_->selectFile(info.fileName());
    const int answer = openDialog1_->exec();
    // The dialog's completer can leave its list open over this window,
    // taking the next key or click.
    for (QCompleter* c : openDialog1_->findChildren<QCompleter*>()) {
      if (c->popup() != nullptr) c->popup()->hide();
    }
    if (answer != QDialog::Accepted) return;
    const QStringList files = openDialog1_->selectedFiles();
    if (files.isEmpty()) return;
    ui_->Edit1->setText(files.first());
    if (SourceName() != previewedName_) NewSource();
  });
}

void TForm2::UpDownClick(int column) {
  origins_[column]->hide();  // the operator's own choice now
  positionLabels_[column]->setText(QString::number(upDowns_[column]->Position()));
  RunHandler(state_, [this] { LoadUp(); });
}

void TForm2::ComboBox3Change() {
  const int index = ui_->ComboBox3->currentIndex();
  if (index < 0) return;
  LinesChanging();
  lines_.SetDelimiter(static_cast<FieldDelimiter>(index));
  RunHandler(state_, [this] { LoadUp(); });
}

void TForm2::CheckBox1Click() {
  RunHandler(state_, [this] { LoadUp(); });
}

void TForm2::RadioGroup1Click() {
  RunHandler(state_, [this] { LoadUp(); });
}

bool TForm2::FormClose() {
  return RunHandler(state_, [this] {
    SetupRecord& r = state_.record;
    r.SetSourceFileName(SourceName());
    for (int k = 0; k < kFieldSlotCount; ++k) {
      r.SetPosition(static_cast<FieldSlot>(k), static_cast<int16_t>(upDowns_[k]->Position()));
    }
    r.SetSkipFirstLine(ui_->CheckBox1->isChecked() ? 1 : 0);
    const SetupRecord chosen = ChosenReading();
    r.SetDateLayout(chosen.DateLayout());
    r.SetTimeLayout(chosen.TimeLayout());
    r.SetDateDelimiter(chosen.DateDelimiter());
    r.SetTimeDelimiter(chosen.TimeDelimiter());
    r.SetDelimiter(chosen.Delimiter());
    form1_.SaveSetup();
  });
}

void TForm2::closeEvent(QCloseEvent* event) {
  if (FormClose()) {
    closing_ = true;  // a reading under way is given up
    event->accept();
    QDialog::reject();  // ends the modal loop
  } else {
    event->ignore();  // the settings could not be stored: stay open
  }
}

void TForm2::reject() {
  close();
}  // Escape closes like the close button: it stores

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->Edit1 && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    QTimer::singleShot(0, this, [this] { Edit1Click(); });
  }
  // The keys that open a drop-down open the file dialog from the keyboard:
  // Return (unless a name was typed), Alt+Down, and Space where it would only
  // replace the whole text (the box just entered by Tab, or empty); within a
  // name it types a blank.
  if (watched == ui_->Edit1 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Return after a typed name takes that name instead.
    const bool untyped = SourceName() == previewedName_;
    const bool opens =
        ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && untyped) ||
        (key->key() == Qt::Key_Space && ui_->Edit1->selectedText() == ui_->Edit1->text()) ||
        (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
    if (opens) {
      QTimer::singleShot(0, this, [this] { Edit1Click(); });
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vantrelix

#include "tform2.h"

#include <sys/stat.h>

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
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>

#include "accessibility.h"
#include "boxes.h"
#include "comma.h"
#include "conversion_run.h"
#include "normalise.h"
#include "posix_file.h"
#include "preview_list.h"
#include "preview_model.h"
#include "preview_readings.h"
#include "program_state.h"
#include "settings_text.h"
#include "setup_file.h"
#include "source_file.h"
#include "source_lines.h"
#include "text_file.h"
#include "tform1.h"
#include "ui_form2.h"
#include "unread.h"
#include "updown.h"

namespace vantrelix {

namespace {

QString FromBytes(std::string_view bytes) {
  return DisplayText(bytes);
}

std::string ToBytes(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

// A label's or button's text as it reads, without its mnemonic mark.
QString PlainText(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&') text.remove(i, 1);  // "&&" leaves one "&"
  }
  return text;
}

// Where the design puts the window, and what its frame adds to its size.
constexpr QPoint kDesignPlace(231, 36);
constexpr QSize kDesignFrame(1213 - 1211, 772 - 747);

// A proposal that found no field would only clear the columns.
bool Finds(const ColumnProposal& proposal) {
  return std::any_of(proposal.fields.begin(), proposal.fields.end(),
                     [](const ColumnProposal::Field& f) { return f.column > 0; });
}

}  // namespace

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

void TForm2::AddProposalMarks() {
  // Under each spinner, as wide as its column allows: where the column of a
  // proposal came from. The full text is the tooltip.
  for (int k = 0; k < kFieldSlotCount; ++k) {
    QLabel* origin = new QLabel(this);
    origin->setObjectName("Origin" + QString::number(k + 1));
    const int left = upDowns_[k]->x() + 22;  // right of the "-" label
    // Up to the next column's list, over the gap between the two.
    const int right =
        k + 1 < kFieldSlotCount ? listBoxes_[k + 1]->x() - 4 : listBoxes_[k]->geometry().right();
    origin->setGeometry(left, 120, right - left, 15);
    origin->setStyleSheet("font-size: 10px; color: #00307a;");
    origin->hide();
    origins_[k] = origin;
  }
  // Right of the file box, in the free band above the column heads.
  proposalButton_ = new QPushButton("Use the proposed columns", this);
  proposalButton_->setObjectName("UseProposal");
  proposalButton_->setStyleSheet("padding: 1px 6px;");
  proposalButton_->adjustSize();
  proposalButton_->move(470, 23);
  proposalButton_->hide();
  // In the same band, where a first start has no proposal to offer.
  firstStepHint_ =
      new QLabel("Choose your appointment export: click Source File or press Enter", this);
  firstStepHint_->setObjectName("FirstStepHint");
  firstStepHint_->setStyleSheet("color: #00307a;");
  firstStepHint_->setGeometry(470, 26, 370, 16);
  firstStepHint_->hide();
  connect(ui_->Edit1, &QLineEdit::textChanged, firstStepHint_, &QWidget::hide);
  setTabOrder(ui_->Edit1, proposalButton_);
  connect(proposalButton_, &QPushButton::clicked, this, [this] {
    proposalButton_->hide();
    RunHandler(state_, [this] { ApplyProposal(offered_); });
  });
  connect(ui_->Edit1, &QLineEdit::editingFinished, this, [this] {
    // A typed name counts as chosen once the operator leaves the box.
    if (SourceName() != previewedName_) RunHandler(state_, [this] { NewSource(); });
  });
}

void TForm2::PutIntoScrollArea() {
  // The design in a scroll area: on a screen smaller than the design every
  // control can still be reached; where it fits, nothing moves.
  // Moved within this window, the controls keep the design's keyboard order.
  content_ = new QWidget(this);
  content_->setObjectName("Form2Content");
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (w != content_ && !w->isWindow()) w->setParent(content_);
  }
  content_->setFixedSize(size());
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setObjectName("Form2Scroll");
  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setWidget(content_);
  // The window's yellow shows through.
  content_->setAutoFillBackground(false);
  scrollArea_->viewport()->setAutoFillBackground(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scrollArea_);
}

void TForm2::FitScreen(const QRect& available) {
  // Before the window is first shown its frame is not known: the design's.
  QSize frame = frameGeometry().size() - size();
  if (frame.isEmpty()) frame = kDesignFrame;
  resize(content_->size().boundedTo(available.size() - frame));
  const QSize outer = size() + frame;
  move(
      std::max(available.left(), std::min(kDesignPlace.x(), available.right() + 1 - outer.width())),
      std::max(available.top(),
               std::min(kDesignPlace.y(), available.bottom() + 1 - outer.height())));
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

void TForm2::OfferProposal() {
  proposalButton_->hide();
  const std::string name = SourceName();
  if (name.empty() || !FileExists(name)) return;
  // For the file the settings were made for: the operator's columns stay.
  const std::vector<std::string> firstLines = ReadFirstLines(name, kProposalLines);
  const ColumnProposal proposal =
      ProposeColumns(firstLines, ChosenReading(), state_.regional, CurrentLocalYear());
  if (!Finds(proposal)) return;
  offered_ = KeepChosenColumns(proposal, firstLines, state_.record, state_.regional);
  if (offered_.SameAs(state_.record)) return;
  const QLabel* heads[kFieldSlotCount] = {ui_->Label2, ui_->Label17, ui_->Label18, ui_->Label5,
                                          ui_->Label6, ui_->Label7,  ui_->Label8};
  QStringList lines;
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const ColumnProposal::Field& f = offered_.fields[static_cast<size_t>(k)];
    QString line = PlainText(heads[k]->text()).simplified() + ": " + QString::number(f.column);
    if (!f.why.empty()) line += " (" + FromBytes(f.why) + ")";
    lines << line;
  }
  lines << PlainText(ui_->CheckBox1->text()) + ": " + (offered_.firstLineIsHeader ? "yes" : "no");
  lines << PlainText(ui_->Label44->text()) + ": " +
               FromBytes(kFieldDelimiterItems[static_cast<size_t>(offered_.delimiter)]);
  const auto item = [](const auto& items, int32_t layout) {
    return layout >= 0 && static_cast<size_t>(layout) < items.size()
               ? FromBytes(items[static_cast<size_t>(layout)])
               : QString("none");
  };
  lines << PlainText(ui_->Label40->text()) + ": " + item(kDateLayoutItems, offered_.dateLayout) +
               " with \"" + FromBytes(std::string(1, offered_.dateDelimiter)) + "\"";
  lines << PlainText(ui_->Label43->text()) + ": " + item(kTimeLayoutItems, offered_.timeLayout) +
               " with \"" + FromBytes(std::string(1, offered_.timeDelimiter)) + "\"";
  proposalButton_->setToolTip(lines.join('\n'));
  // Named by what it changes: the columns and header box, or only the
  // readings of the date and time columns.
  SetupRecord readings = state_.record;
  offered_.ApplyTo(readings);
  bool columns = readings.SkipFirstLine() != state_.record.SkipFirstLine() ||
                 readings.Delimiter() != state_.record.Delimiter();
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const auto slot = static_cast<FieldSlot>(k);
    columns = columns || readings.Position(slot) != state_.record.Position(slot);
  }
  proposalButton_->setText(columns ? "&Use the proposed columns" : "&Use the proposed layouts");
  proposalButton_->adjustSize();
  proposalButton_->show();
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

void TForm2::LoadUp() {
  if (filling_) {
    // Columns, header and layouts are taken from the controls as the reading
    // ends; another file or "First 5" reads again, once this reading gives up.
    refill_ = refill_ || SourceName() != fillingKey_.name ||
              (SelectedRadioItem() != 0) != fillingKey_.allRecords;
    return;
  }
  do {
    refill_ = false;
    if (GivingUp()) return;
    LoadUpOnce();
  } while (refill_);
}

bool TForm2::AwaitsFirstChoice(const std::string& name) const {
  return name == state_.paths.dataFolder + "/" + kSampleSourceName && !FileExists(name);
}

bool TForm2::GivingUp() const {
  return closing_ || state_.terminationRequested;
}

void TForm2::LoadUpOnce() {
  const std::string name = SourceName();
  if (name.empty()) {
    // A reading given up for an emptied box leaves no half of a file shown.
    if (!linesKey_.valid && lines_.Count() > 0) {
      LinesChanging();
      lines_.Clear();
      ShowCount(ShowColumns());
      ShowReadings();
    }
    return;
  }
  previewedName_ = name;
  if (NothingNamed(name)) {
    LinesChanging();
    lines_.Clear();
    linesKey_ = {};
    ShowColumns();
    ShowReadings();
    if (AwaitsFirstChoice(name)) {
      firstStepHint_->show();
    } else {
      ShowMessageBox(state_, MissingFileMessage(name));
    }
    return;
  }
  try {
    ReadLines(name, SelectedRadioItem() != 0);
  } catch (...) {
    ShowCount(ShowColumns());  // the rows read so far stay
    ShowReadings();
    throw;
  }
  if (refill_ || GivingUp()) return;
  ShowCount(ShowColumns());
  ShowReadings();
}

void TForm2::ShowCount(int64_t count) {
  ui_->Label38->setText(QString::number(count));
  ui_->Label38->adjustSize();
}

int32_t TForm2::Position(FieldSlot field) const {
  return positionLabels_[static_cast<int>(field)]->text().toInt();
}

void TForm2::ReadLines(const std::string& name, bool allRecords) {
  struct stat status {};
  LinesKey key;
  if (::stat(name.c_str(), &status) == 0) {
    key = {name,
           allRecords,
           true,
           status.st_dev,
           status.st_ino,
           status.st_size,
           status.st_mtim.tv_sec,
           status.st_mtim.tv_nsec};
  }
  // The same file, unchanged since it was read: its lines are at hand.
  if (key.valid && key == linesKey_) return;
  linesKey_ = {};
  LinesChanging();
  lines_.Clear();
  lines_.HoldWhileReading({Position(FieldSlot::kDate), Position(FieldSlot::kTime)});
  TextReader reader = OpenSource(name, {});
  filling_ = true;
  fillingKey_ = {name, allRecords};
  const auto filled = qScopeGuard([this] {
    filling_ = false;
    lines_.Finish();
  });
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  int64_t read = 0;
  size_t bytesSinceClock = 0;
  bool complete = true;
  ForEachSourceLine(reader, false, 1, FieldDelimiter::kCommaOrTab, [&](const SourceLine& line) {
    lines_.Append(line.text);
    ++read;
    // A big file is read with the window alive: it redraws, and takes clicks
    // and keys, which change the controls and may ask for another reading.
    // The clock is looked at every thousand lines or megabyte.
    bytesSinceClock += line.text.size();
    if (((read & 0x3FF) == 0 || bytesSinceClock >= (1 << 20)) &&
        sinceEvents.elapsed() >= kEventsEveryMs) {
      ShowCount(read);
      ShowColumns(false);  // the rows read so far
      QCoreApplication::processEvents();
      sinceEvents.restart();
      bytesSinceClock = 0;
      if (refill_ || GivingUp()) {
        complete = false;
        return false;
      }
    }
    // "First 5 Records Only": five lines, a header among them.
    return allRecords || line.number < 5;
  });
  // What the file is written in, where it is not read as its bytes.
  const std::string_view encoding = EncodingName(reader.Encoding());
  const QString tip = ui_->Edit1->toolTip().section('\n', 0, 0);  // the design's own
  ui_->Edit1->setToolTip(encoding.empty() ? tip : tip + "\n" + FromBytes(encoding));
  reader.Close();
  if (complete) linesKey_ = key;
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

ColumnProposal TForm2::ProposalFor(const std::string& name) const {
  return ProposeColumns(ReadFirstLines(name, kProposalLines), ChosenReading(), state_.regional,
                        CurrentLocalYear());
}

void TForm2::ApplyProposal(const ColumnProposal& proposal) {
  {
    // One preview for the whole change, not one per control.
    const QSignalBlocker blockers[] = {
        QSignalBlocker(ui_->CheckBox1), QSignalBlocker(ui_->ComboBox1),
        QSignalBlocker(ui_->ComboBox2), QSignalBlocker(ui_->Edit2), QSignalBlocker(ui_->Edit3)};
    for (int k = 0; k < kFieldSlotCount; ++k) {
      const int32_t column = proposal.fields[static_cast<size_t>(k)].column;
      upDowns_[k]->SetPosition(column);
      positionLabels_[k]->setText(QString::number(upDowns_[k]->Position()));
    }
    ui_->CheckBox1->setChecked(proposal.firstLineIsHeader);
    ui_->ComboBox1->setCurrentIndex(
        proposal.dateLayout < ui_->ComboBox1->count() ? std::max(proposal.dateLayout, -1) : -1);
    ui_->ComboBox2->setCurrentIndex(
        proposal.timeLayout < ui_->ComboBox2->count() ? std::max(proposal.timeLayout, -1) : -1);
    Show(ui_->Edit2, shownDateDelimiter_, std::string(1, proposal.dateDelimiter));
    Show(ui_->Edit3, shownTimeDelimiter_, std::string(1, proposal.timeDelimiter));
    const QSignalBlocker blocker(ui_->ComboBox3);
    ui_->ComboBox3->setCurrentIndex(static_cast<int>(proposal.delimiter));
    LinesChanging();
    lines_.SetDelimiter(proposal.delimiter);
  }
  LoadUp();
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const std::string& why = proposal.fields[static_cast<size_t>(k)].why;
    const QString text = why.empty() ? QString("no column fits") : FromBytes(why);
    QLabel* origin = origins_[k];
    // How the order of day and month was chosen, a guess above all.
    const bool dateNote =
        k == static_cast<int>(FieldSlot::kDate) && !proposal.dateOrderNote.empty();
    origin->setToolTip(dateNote ? text + "; " + FromBytes(proposal.dateOrderNote) : text);
    // In a narrow column the header's own words say enough.
    QString shown = text;
    if (origin->fontMetrics().horizontalAdvance(shown) > origin->width() &&
        shown.startsWith("header ")) {
      shown = shown.mid(7);
    }
    // Cut in the middle: both the kind of value and the heading stay readable.
    origin->setText(origin->fontMetrics().elidedText(shown, Qt::ElideMiddle, origin->width()));
    origin->show();
  }
}

void TForm2::NewSource() {
  const std::string name = SourceName();
  proposalButton_->hide();  // it was for the file the window opened with
  for (QLabel* origin : origins_) origin->hide();
  if (name.empty() || !FileExists(name)) {
    LoadUp();  // says that the file is missing
    return;
  }
  const ColumnProposal proposal = ProposalFor(name);
  if (Finds(proposal)) {
    ApplyProposal(proposal);
  } else {
    LoadUp();  // an export it knows nothing of keeps the columns chosen
  }
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

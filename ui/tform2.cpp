#include "tform2.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>

#include "boxes.h"
#include "comma.h"
#include "conversion_run.h"
#include "normalise.h"
#include "posix_file.h"
#include "preview_model.h"
#include "program_state.h"
#include "text_file.h"
#include "tform1.h"
#include "ui_form2.h"
#include "updown.h"

namespace vantrelix {

namespace {

QString FromBytes(std::string_view bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  return text.toLocal8Bit().toStdString();
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
  move(231, 36);  // the design's place; setupUi applies only its size
  setSizeGripEnabled(true);

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

  radioGroup1_->addButton(ui_->RadioGroup1Item0, 0);
  radioGroup1_->addButton(ui_->RadioGroup1Item1, 1);
  radioGroup1_->setExclusive(true);
  connect(radioGroup1_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) RadioGroup1Click();
  });
  connect(ui_->CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

  openDialog1_->setObjectName("OpenDialog1");
  openDialog1_->setFileMode(QFileDialog::ExistingFile);
  openDialog1_->setOption(QFileDialog::DontUseNativeDialog);
  openDialog1_->setOption(QFileDialog::ReadOnly, false);
  ui_->Edit1->installEventFilter(this);
}

TForm2::~TForm2() = default;

int TForm2::ShowModal() {
  QTimer::singleShot(0, this, [this] { FormActivate(); });
  return exec();
}

std::string TForm2::Comma(std::string_view line, int32_t column) const {
  return vantrelix::Comma(line, column);
}

void TForm2::FormActivate() {
  RunHandler(state_, [this] {
    const SetupRecord& r = state_.record;
    ui_->Label39->setText(form1_.VersionText());
    ui_->Edit1->setText(FromBytes(r.SourceFileName()));
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
    ui_->Edit2->setText(FromBytes(std::string(1, r.DateDelimiter())));
    ui_->Edit3->setText(FromBytes(std::string(1, r.TimeDelimiter())));
    LoadUp();
    upDowns_[0]->setFocus();
  });
}

int TForm2::SelectedRadioItem() const {
  return radioGroup1_->checkedId();
}

void TForm2::LoadUp() {
  const std::string name = ToBytes(ui_->Edit1->text());
  if (name.empty()) return;
  for (PreviewColumnModel* m : models_) m->Clear();
  if (!FileExists(name)) {
    ShowMessageBox(state_, MissingFileMessage(name));
    return;
  }

  TextReader reader = TextReader::Open(name);
  int32_t columns[kFieldSlotCount];
  for (int k = 0; k < kFieldSlotCount; ++k) columns[k] = positionLabels_[k]->text().toInt();
  const bool skipHeader = ui_->CheckBox1->isChecked();
  const bool firstFiveOnly = SelectedRadioItem() == 0;

  std::string line, field;
  LineColumns split;  // one scan of each line serves all seven columns
  int32_t maxColumn = 1;
  for (int32_t c : columns) maxColumn = std::max(maxColumn, c);
  int64_t count = 0;
  try {
    for (;;) {
      reader.ReadTextLine(line);
      if (count == 0 && skipHeader) {
        count = 1;
        reader.ReadTextLine(line);
      }
      split.Split(line, maxColumn);
      for (int k = 0; k < kFieldSlotCount; ++k) {
        split.ColumnInto(columns[k], field);
        models_[k]->Append(field);
      }
      ++count;
      if (reader.TextAtEnd() || (firstFiveOnly && count > 4)) break;
    }
  } catch (...) {
    for (PreviewColumnModel* m : models_) m->Publish();  // the rows read so far stay
    throw;
  }
  for (PreviewColumnModel* m : models_) m->Publish();
  ui_->Label38->setText(QString::number(count));
  ui_->Label38->adjustSize();
  reader.Close();
}

void TForm2::Edit1Click() {
  RunHandler(state_, [this] {
    if (openDialog1_->exec() != QDialog::Accepted) return;
    const QStringList files = openDialog1_->selectedFiles();
    if (!files.isEmpty()) ui_->Edit1->setText(files.first());
  });
}

void TForm2::UpDownClick(int column) {
  positionLabels_[column]->setText(QString::number(upDowns_[column]->Position()));
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
    r.SetSourceFileName(ToBytes(ui_->Edit1->text()));  // cut to 100 characters
    for (int k = 0; k < kFieldSlotCount; ++k) {
      r.SetPosition(static_cast<FieldSlot>(k), static_cast<int16_t>(upDowns_[k]->Position()));
    }
    r.SetSkipFirstLine(ui_->CheckBox1->isChecked() ? 1 : 0);
    // An edited text that is none of the items selects no layout.
    r.SetDateLayout(ui_->ComboBox1->findText(ui_->ComboBox1->currentText(), Qt::MatchExactly));
    r.SetTimeLayout(ui_->ComboBox2->findText(ui_->ComboBox2->currentText(), Qt::MatchExactly));
    // An empty box keeps the delimiting character the record holds.
    const std::string date = ToBytes(ui_->Edit2->text());
    const std::string time = ToBytes(ui_->Edit3->text());
    if (!date.empty()) r.SetDateDelimiter(date[0]);
    if (!time.empty()) r.SetTimeDelimiter(time[0]);
    form1_.SaveSetup();
  });
}

void TForm2::closeEvent(QCloseEvent* event) {
  if (FormClose()) {
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
  return QDialog::eventFilter(watched, event);
}

}  // namespace vantrelix

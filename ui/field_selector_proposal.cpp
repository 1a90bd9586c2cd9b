// The field selector's proposal offer: the columns and readings proposed for
// the source, the button that offers them and the marks that say where each
// column came from.
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>

#include <algorithm>

#include "boxes.h"
#include "column_proposal.h"
#include "field_selector_text.h"
#include "posix_file.h"
#include "program_state.h"
#include "settings_text.h"
#include "source_file.h"
#include "tform2.h"
#include "ui_form2.h"
#include "updown.h"

namespace vantrelix {

namespace {

// A proposal that found no field would only clear the columns.
bool Finds(const ColumnProposal& proposal) {
  return std::any_of(proposal.fields.begin(), proposal.fields.end(),
                     [](const ColumnProposal::Field& f) { return f.column > 0; });
}

}  // namespace

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

}  // namespace vantrelix

#include "preview_model.h"

#include <QBrush>
#include <QColor>
#include <QStringDecoder>

#include <algorithm>

#include "comma.h"

namespace vantrelix {

QString DisplayText(std::string_view bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(view);
  if (!utf8.hasError()) return text;
  // 0x80..0x9F of Windows-1252; the rest is Latin-1. The five unassigned
  // bytes keep their C1 code points.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  text.resize(static_cast<qsizetype>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    text[static_cast<qsizetype>(i)] = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b});
  }
  return text;
}

int PreviewColumnModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant PreviewColumnModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const int row = index.row();
  switch (role) {
    case Qt::DisplayRole:
      return DisplayText(Row(row));
    case Qt::BackgroundRole:
      if (ReadingOf(row) == Reading::kLeftAsItCame) return QBrush(QColor(255, 190, 190));
      if (ReadingOf(row) == Reading::kDoubtful) return QBrush(QColor(255, 225, 150));
      return {};
    case kMarkRole:
      return ReadingOf(row) == Reading::kLeftAsItCame ? QStringLiteral("!")
             : ReadingOf(row) == Reading::kDoubtful   ? QStringLiteral("?")
                                                      : QString();
    case Qt::AccessibleDescriptionRole:
      if (ReadingOf(row) != Reading::kLeftAsItCame && ReadingOf(row) != Reading::kDoubtful) {
        return {};
      }
      return data(index, Qt::ToolTipRole);
    case Qt::ToolTipRole: {
      if (ReadingOf(row) == Reading::kNothingToRead || !writes_) return {};
      QString why;
      switch (ReadingOf(row)) {
        case Reading::kLeftAsItCame:
          why = QStringLiteral("Not read: written as ");
          break;
        case Reading::kDoubtful:
          why = doubtWhy_ + " Written as ";
          break;
        default:
          why = QStringLiteral("Written as ");
      }
      return why + DisplayText(writes_(Row(row)));
    }
    default:
      return {};
  }
}

void PreviewColumnModel::Show(const PreviewLines* lines, size_t first, int rows, int32_t column) {
  beginResetModel();
  lines_ = lines;
  first_ = first;
  rows_ = lines != nullptr ? rows : 0;
  column_ = column;
  readings_.clear();
  endResetModel();
}

std::string PreviewColumnModel::Row(int row) const {
  const size_t i = first_ + static_cast<size_t>(row);
  const bool pastTheEnd = i >= lines_->Count();  // the pass reads an empty line there
  const PreviewLines::HeldColumn* held = pastTheEnd ? nullptr : lines_->Held(column_);
  if (held != nullptr) return held->texts[held->ids[i]];
  std::string text;
  LineColumns split(lines_->Delimiter());
  split.Split(pastTheEnd ? std::string_view() : lines_->Line(i), column_);
  split.ColumnInto(column_, text);
  return text;
}

void PreviewColumnModel::ForEachRow(
    const std::function<void(int row, std::string_view text, int32_t id)>& visit) const {
  const size_t end = first_ + static_cast<size_t>(rows_);
  const size_t count = lines_ != nullptr ? lines_->Count() : 0;
  const size_t last = std::min(end, count);
  if (first_ < last) {
    if (const PreviewLines::HeldColumn* held = lines_->Held(column_)) {
      for (size_t i = first_; i < last; ++i) {
        const uint16_t id = held->ids[i];
        visit(static_cast<int>(i - first_), held->texts[id], id);
      }
    } else {
      LineColumns split(lines_->Delimiter());
      std::string text;
      lines_->ForEach(first_, last, [&](size_t i, std::string_view line) {
        split.Split(line, column_);
        split.ColumnInto(column_, text);
        visit(static_cast<int>(i - first_), text, -1);
      });
    }
  }
  if (end > std::max(first_, last)) {
    LineColumns split;
    std::string text;
    split.Split(std::string_view(), column_);
    split.ColumnInto(column_, text);
    for (size_t i = std::max(first_, last); i < end; ++i) {
      visit(static_cast<int>(i - first_), text, -1);
    }
  }
}

void PreviewColumnModel::SetReadings(std::vector<Reading> readings,
                                     std::function<std::string(std::string_view)> writes,
                                     QString doubtWhy) {
  readings_ = std::move(readings);
  writes_ = std::move(writes);
  doubtWhy_ = std::move(doubtWhy);
  if (rows_ > 0) {
    emit dataChanged(
        index(0), index(rows_ - 1),
        {Qt::BackgroundRole, Qt::ToolTipRole, kMarkRole, Qt::AccessibleDescriptionRole});
  }
}

PreviewColumnModel::Reading PreviewColumnModel::ReadingOf(int row) const {
  return static_cast<size_t>(row) < readings_.size() ? readings_[static_cast<size_t>(row)]
                                                     : Reading::kNothingToRead;
}

}  // namespace vantrelix

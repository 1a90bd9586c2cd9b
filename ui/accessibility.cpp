#include "accessibility.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QScrollBar>

#include <vector>

#include "preview_list.h"
#include "preview_model.h"
#include "tform1.h"
#include "updown.h"

namespace vantrelix {

namespace {

class UpDownAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit UpDownAccessible(TUpDown* upDown) : QAccessibleWidget(upDown, QAccessible::SpinBox) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(UpDown()->Position());
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return UpDown()->Position(); }
  void setCurrentValue(const QVariant& value) override { UpDown()->SetByOperator(value.toInt()); }
  QVariant maximumValue() const override { return UpDown()->Max(); }
  QVariant minimumValue() const override { return UpDown()->Min(); }
  QVariant minimumStepSize() const override { return 1; }

 private:
  TUpDown* UpDown() const { return static_cast<TUpDown*>(widget()); }
};

class PreviewListAccessible;

// A visible row of a preview list, by its place on screen: what it says
// follows the list as it scrolls and fills.
class PreviewRowAccessible : public QAccessibleInterface {
 public:
  PreviewRowAccessible(PreviewListAccessible* list, int visibleRow)
      : list_(list), visibleRow_(visibleRow) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override;

 private:
  int Row() const;
  PreviewListAccessible* list_;
  int visibleRow_;
};

class PreviewListAccessible : public QAccessibleWidget {
 public:
  explicit PreviewListAccessible(PreviewList* list) : QAccessibleWidget(list, QAccessible::List) {}
  ~PreviewListAccessible() override {
    for (QAccessibleInterface* row : rows_) {
      QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(row));
    }
  }

  PreviewList* List() const { return static_cast<PreviewList*>(widget()); }
  int FirstShown() const { return List()->verticalScrollBar()->value(); }
  int RowsShown() const {
    const QAbstractItemModel* model = List()->model();
    if (model == nullptr) return 0;
    const int onScreen =
        (List()->viewport()->height() + List()->RowHeight() - 1) / std::max(1, List()->RowHeight());
    return std::max(0, std::min(onScreen, model->rowCount() - FirstShown()));
  }

  int childCount() const override { return RowsShown(); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= RowsShown()) return nullptr;
    while (static_cast<int>(rows_.size()) <= index) {
      auto* row = new PreviewRowAccessible(const_cast<PreviewListAccessible*>(this),
                                           static_cast<int>(rows_.size()));
      QAccessible::registerAccessibleInterface(row);
      rows_.push_back(row);
    }
    return rows_[static_cast<size_t>(index)];
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i] == child) return static_cast<int>(i) < RowsShown() ? static_cast<int>(i) : -1;
    }
    return -1;
  }
  QAccessibleInterface* focusChild() const override {
    const int current = List()->CurrentRow() - FirstShown();
    return List()->hasFocus() ? child(current) : nullptr;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint local = List()->viewport()->mapFromGlobal(QPoint(x, y));
    const int row = List()->RowAt(local.y());
    return row >= 0 && List()->viewport()->rect().contains(local) ? child(row - FirstShown())
                                                                  : nullptr;
  }

 private:
  mutable std::vector<QAccessibleInterface*> rows_;
};

bool PreviewRowAccessible::isValid() const {
  return list_->isValid() && visibleRow_ < list_->RowsShown();
}

QWindow* PreviewRowAccessible::window() const {
  return list_->window();
}

QAccessibleInterface* PreviewRowAccessible::parent() const {
  return list_;
}

int PreviewRowAccessible::Row() const {
  return list_->FirstShown() + visibleRow_;
}

QString PreviewRowAccessible::text(QAccessible::Text t) const {
  const QAbstractItemModel* model = list_->List()->model();
  if (!isValid() || model == nullptr) return {};
  const QModelIndex index = model->index(Row(), 0);
  if (t == QAccessible::Name) {
    const QString mark = model->data(index, PreviewColumnModel::kMarkRole).toString();
    const QString text = model->data(index, Qt::DisplayRole).toString();
    return mark.isEmpty() ? text : mark + ' ' + text;
  }
  if (t == QAccessible::Description) {
    return model->data(index, Qt::AccessibleDescriptionRole).toString();
  }
  return {};
}

QRect PreviewRowAccessible::rect() const {
  const PreviewList* list = list_->List();
  const int height = list->RowHeight();
  const QRect local(0, visibleRow_ * height, list->viewport()->width(), height);
  return QRect(list->viewport()->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State PreviewRowAccessible::state() const {
  QAccessible::State state;
  state.selectable = true;
  state.focusable = true;
  state.selected = list_->List()->CurrentRow() == Row();
  state.focused = state.selected && list_->List()->hasFocus();
  state.invisible = !isValid();
  return state;
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  // The main window is a plain widget, which screen readers would take for
  // a filler inside another window.
  if (className == QLatin1String(TForm1::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  if (className == QLatin1String(TUpDown::staticMetaObject.className())) {
    return new UpDownAccessible(static_cast<TUpDown*>(object));
  }
  if (className == QLatin1String(PreviewList::staticMetaObject.className())) {
    return new PreviewListAccessible(static_cast<PreviewList*>(object));
  }
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace vantrelix

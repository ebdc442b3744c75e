#include "ui/keyed_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtGlobal>

namespace ravlen::ui {

namespace {

// The row a control of `kind` takes its value through; null, with a warning,
// when the table has no such key of that kind.
const SettingsKey* RowOf(const char* key, KeyKind kind) {
    const SettingsKey* row = FindSettingsKey(key);
    const bool fits = row != nullptr && row->kind == kind &&
                      (kind == KeyKind::Text ? row->text != nullptr : row->IsNumber());
    if (fits) return row;
    qWarning("The window's control %s has no settings key of its kind; it is left disabled.", key);
    return nullptr;
}

template <typename Control>
Control* Named(Control* control, const char* key, const SettingsKey* row) {
    control->setObjectName(QString::fromUtf8(key));
    if (row == nullptr) control->setEnabled(false);
    return control;
}

}  // namespace

template <typename Control>
Control* KeyedControls::Find(const std::vector<Keyed<Control>>& controls, std::string_view key) {
    const SettingsKey* row = FindSettingsKey(key);
    for (const Keyed<Control>& keyed : controls)
        if (row != nullptr && keyed.key == row) return keyed.control;
    return nullptr;
}

QComboBox* KeyedControls::AddList(QWidget* parent, const char* key, Binding binding) {
    const SettingsKey* row = RowOf(key, KeyKind::List);
    auto* list = Named(new QComboBox(parent), key, row);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    if (row == nullptr) return list;
    for (const char* item : row->items) list->addItem(QString::fromUtf8(item));
    lists_.push_back({row, list, binding});
    return list;
}

QCheckBox* KeyedControls::AddCheck(QWidget* parent, const char* key, const QString& caption, Binding binding) {
    const SettingsKey* row = RowOf(key, KeyKind::CheckBox);
    auto* box = Named(new QCheckBox(caption, parent), key, row);
    if (row != nullptr) checks_.push_back({row, box, binding});
    return box;
}

QLineEdit* KeyedControls::AddText(QWidget* parent, const char* key, Binding binding) {
    const SettingsKey* row = RowOf(key, KeyKind::Text);
    auto* edit = Named(new QLineEdit(parent), key, row);
    if (row != nullptr) texts_.push_back({row, edit, binding});
    return edit;
}

void KeyedControls::Show(const RunOptions& options) const {
    for (const auto& [key, list, binding] : lists_) {
        const int index = key->get(options) - key->minimum;
        if (index >= 0 && index < list->count() && list->currentIndex() != index) list->setCurrentIndex(index);
    }
    for (const auto& [key, box, binding] : checks_) box->setChecked(key->get(options) != 0);
    for (const auto& [key, edit, binding] : texts_) {
        const auto view = views_.find(edit);
        const std::string& text = options.*key->text;
        const QString value = QString::fromStdString(view == views_.end() ? text : view->second.shown(text));
        if (edit->text() != value) edit->setText(value);
    }
}

void KeyedControls::BindDirect(QObject* context, RunOptions& options) const {
    for (const auto& [key, list, binding] : lists_)
        if (binding == Binding::Direct)
            QObject::connect(list, &QComboBox::activated, context,
                             [&options, key = key](int index) { key->set(options, key->minimum + index); });
    for (const auto& [key, box, binding] : checks_)
        if (binding == Binding::Direct)
            QObject::connect(box, &QCheckBox::clicked, context,
                             [&options, key = key](bool ticked) { key->set(options, ticked ? 1 : 0); });
    for (const auto& [key, edit, binding] : texts_) {
        if (binding != Binding::Direct) continue;
        const auto view = views_.find(edit);
        const auto value = view == views_.end() ? std::function<std::string(const std::string&)>() : view->second.value;
        QObject::connect(edit, &QLineEdit::textEdited, context,
                         [&options, key = key, value](const QString& text) {
                             options.*key->text = value ? value(text.toStdString()) : text.toStdString();
                         });
    }
}

void KeyedControls::ShowTextThrough(std::string_view key, TextView view) {
    if (const QLineEdit* edit = Text(key)) views_[edit] = std::move(view);
}

QComboBox* KeyedControls::List(std::string_view key) const { return Find(lists_, key); }
QCheckBox* KeyedControls::Check(std::string_view key) const { return Find(checks_, key); }
QLineEdit* KeyedControls::Text(std::string_view key) const { return Find(texts_, key); }

}  // namespace ravlen::ui

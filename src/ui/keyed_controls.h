#pragma once
// The window's controls that each hold one settings key's value: a list, a
// check box or a text box named after its key. The key's row of the settings
// table gives a list its items and tells how the value is read and set, so
// that showing and taking the values is one loop over the controls.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/settings_store.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QObject;
class QString;
class QWidget;

namespace ravlen::ui {

// Who takes a control's new value: the control is the option, or the form
// decides (warnings, enabling rules) and the caller connects it.
enum class Binding { Direct, Form };

class KeyedControls {
public:
    // Each makes a control named after `key` inside `parent`. A key the
    // settings table does not have, or has of another kind, leaves the
    // control disabled and out of the registry: it shows and sets nothing.
    QComboBox* AddList(QWidget* parent, const char* key, Binding binding = Binding::Direct);
    QCheckBox* AddCheck(QWidget* parent, const char* key, const QString& caption,
                        Binding binding = Binding::Direct);
    QLineEdit* AddText(QWidget* parent, const char* key, Binding binding = Binding::Direct);

    // A text box whose text is not the value itself: `shown` gives the text
    // for a value, `value` the value for a text.
    struct TextView {
        std::function<std::string(const std::string&)> shown, value;
    };
    void ShowTextThrough(std::string_view key, TextView view);

    // Shows every control's value, leaving alone those already showing it.
    void Show(const RunOptions& options) const;
    // Controls bound directly write their new value into `options`, which
    // must outlive `context`.
    void BindDirect(QObject* context, RunOptions& options) const;

    // The control of a key, or null when there is none of that kind.
    QComboBox* List(std::string_view key) const;
    QCheckBox* Check(std::string_view key) const;
    QLineEdit* Text(std::string_view key) const;

private:
    template <typename Control>
    struct Keyed {
        const SettingsKey* key;
        Control* control;
        Binding binding;
    };
    template <typename Control>
    static Control* Find(const std::vector<Keyed<Control>>& controls, std::string_view key);

    std::vector<Keyed<QComboBox>> lists_;
    std::vector<Keyed<QCheckBox>> checks_;
    std::vector<Keyed<QLineEdit>> texts_;
    std::map<const QLineEdit*, TextView> views_;
};

}  // namespace ravlen::ui

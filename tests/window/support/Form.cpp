#include "Form.h"

#include <QHash>
#include <memory>

namespace movratest {

Ui::MovraTestToolClass &form(QMainWindow &w)
{
    static QHash<QObject *, std::shared_ptr<Ui::MovraTestToolClass>> forms;
    auto it = forms.find(&w);
    if (it == forms.end()) {
        auto ui = std::make_shared<Ui::MovraTestToolClass>();
        bindForm(w, *ui);
        it = forms.insert(&w, ui);
        QObject::connect(&w, &QObject::destroyed, [key = &w] { forms.remove(key); });
    }
    return **it;
}

} // namespace movratest

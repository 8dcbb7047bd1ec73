#include "monitor/MessageBoxes.h"

#include <QMessageBox>

namespace km7 {

void QtMessageBoxes::Show(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace km7

// KM-7-TL management tool: program entry.

#include "config/UFormSetup.h"
#include "monitor/Settings.h"
#include "monitor/UFormMain.h"
#include "update/UFormSoftware.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QToolTip>

#include <exception>

namespace {

// An error that escapes an event handler is shown, and the program goes on.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, "Error", QString::fromUtf8(e.what()));
        } catch (...) {
            QMessageBox::critical(nullptr, "Error", "Unexpected error");
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    Application app(argc, argv);
    // Hints on the classic pale yellow of balloon tips. (A style sheet would
    // do rounded corners, but it stops the window's fixed font from reaching
    // its labels.)
    QPalette tips = QToolTip::palette();
    tips.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    tips.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(tips);
    const std::string exe = QCoreApplication::applicationFilePath().toStdString();
    const std::string dir = QFileInfo(QString::fromStdString(exe)).absolutePath().toStdString();

    TFormMain::Environment env;
    env.settingsPath = km7::SettingsPathFor(exe);
    env.libraryPath = dir + "/serial.so";
    env.ports.announceFolder = km7::AnnounceFolder();

    auto* main = new TFormMain(env);
    auto* software = new TFormSoftware(env.settingsPath, main);
    new TFormSetup(main->Session(), env.settingsPath, main);
    main->SetUpdateWindow(software);
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    return app.exec();
}

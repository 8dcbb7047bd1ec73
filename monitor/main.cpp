// KM-7-TL management tool: program entry.

#include "config/UFormSetup.h"
#include "monitor/Settings.h"
#include "monitor/UFormMain.h"
#include "update/UFormSoftware.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

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
    // Hints as balloons: rounded, on the classic pale yellow.
    app.setStyleSheet("QToolTip { border: 1px solid #808080; border-radius: 6px; padding: 2px; "
                      "background-color: #ffffe1; color: black; }");
    const std::string exe = QCoreApplication::applicationFilePath().toStdString();
    const std::string dir = QFileInfo(QString::fromStdString(exe)).absolutePath().toStdString();

    TFormMain::Environment env;
    env.settingsPath = km7::SettingsPathFor(exe);
    env.libraryPath = dir + "/serial.so";
    env.ports.announceFolder = km7::AnnounceFolder();

    auto* main = new TFormMain(env);
    auto* software = new TFormSoftware(env.settingsPath, main);
    auto* setup = new TFormSetup(main, env.settingsPath, main);
    main->SetWindows(setup, software);
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    return app.exec();
}

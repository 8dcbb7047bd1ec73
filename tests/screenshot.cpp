// Connects the main window to a running simulator, headless, and saves a
// picture of the connected window: km7shot <port name> <announce folder> <out.png>
#include "config/UFormSetup.h"
#include "monitor/UFormMain.h"
#include "update/UFormSoftware.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: km7shot <port name> <announce folder> <out.png>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string dir = QCoreApplication::applicationDirPath().toStdString();
    const std::string ini = dir + "/km7shot.ini";
    std::FILE* f = std::fopen(ini.c_str(), "wb");
    if (!f)
        return 1;
    std::fprintf(f, "[Settings]\r\nCOMPort=%s\r\nStatInterval=300\r\n", argv[1]);
    std::fclose(f);
    TFormMain::Environment env;
    env.settingsPath = ini;
    env.libraryPath = dir + "/serial.so";
    env.ports.announceFolder = argv[2];
    TFormMain main(env);
    TFormSoftware software(env.settingsPath, &main);
    TFormSetup setup(main.Session(), env.settingsPath, &main);
    main.SetUpdateWindow(&software);
    main.show();
    main.RzToolButtonState->click();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const bool ok = main.grab().save(QString::fromLocal8Bit(argv[3]));
    std::printf("%s: %s\n", ok ? "saved" : "not saved", main.RzStatusPaneMessage->text().toUtf8().constData());
    main.close();
    return ok ? 0 : 1;
}

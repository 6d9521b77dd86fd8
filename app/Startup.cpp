#include "Startup.h"

#include "AppLook.h"
#include "SecureConnectStep.h"
#include "UntMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

#include <memory>

void prepareApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("sqlbackup"));
    // The interface is Chinese whatever the desktop's language: standard buttons read 确定/是/否.
    auto* translator = new QTranslator(&app); // owned by the application
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    SecureConnectStep::useOwnFreeTdsConfig();
    AppLook::installFontSubstitutions();
    QApplication::setFont(AppLook::font(QStringLiteral("MS Sans Serif"), 12));
}

int runProgram(QApplication& app) {
    const auto FrmMain = std::make_unique<TFrmMain>();
    FrmMain->createPickers();

    // Centre on the desktop, backup page active.
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        FrmMain->move(available.center() - FrmMain->rect().center());
    }
    FrmMain->PageControl1->setCurrentIndex(0);
    FrmMain->show();
    return app.exec();
}

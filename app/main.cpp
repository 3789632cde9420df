// Quorvel: the desktop front end. The arguments are files or folders to start with (see
// OpenPaths); without any, the window starts in the current directory. The one setting
// kept between runs is "Show Results in One List". The process ends with exit code 0
// once the main window is closed.
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStyle>

#include "quorvel/batch/messages.hpp"
#include "midi_form.hpp"
#include "start_files.hpp"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(
        quorvel::batch::ApplicationTitle.data(), static_cast<qsizetype>(quorvel::batch::ApplicationTitle.size())));
    // The menu entry's name, so desktops match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
    QIcon icon;
    for (const char* size : {"48", "256"})
        icon.addFile(QStringLiteral(":/icons/quorvel-%1.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);

    // Creating the window runs FormCreate, which shows the About box first.
    quorvel::app::TMidiForm MidiForm;
    // Qt has taken its own options (-platform, -style...) out of the arguments by now.
    const QStringList given = QApplication::arguments().mid(1);
    if (!given.isEmpty()) quorvel::app::OpenPaths(MidiForm, given);
    if (const QScreen* screen = MidiForm.screen())
        MidiForm.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, MidiForm.size(),
                                                 screen->availableGeometry()));
    MidiForm.show();
    QApplication::exec();
    return 0;
}

// Quorvel: the desktop front end. No arguments; the one setting kept between runs is
// "Show Results in One List". The process ends with exit code 0 once the main window is
// closed.
#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "quorvel/batch/messages.hpp"
#include "midi_form.hpp"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(
        QString::fromUtf8(quorvel::batch::ApplicationTitle.data(),
                          static_cast<qsizetype>(quorvel::batch::ApplicationTitle.size())));

    // Creating the window runs FormCreate, which shows the About box first.
    quorvel::app::TMidiForm MidiForm;
    if (const QScreen* screen = MidiForm.screen())
        MidiForm.setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, MidiForm.size(), screen->availableGeometry()));
    MidiForm.show();
    QApplication::exec();
    return 0;
}

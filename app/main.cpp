#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Where QSettings keeps the user's choices, such as the MIDI input.
    QApplication::setOrganizationName(QStringLiteral("Pemberlock"));
    QApplication::setApplicationName(QStringLiteral("Pemberlock"));
    pemberlock::QtDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs);
    window.show();
    return QApplication::exec();
}

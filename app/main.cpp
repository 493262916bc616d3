#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    pemberlock::QtDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs, pemberlock::RealFileSystem(),
                                   pemberlock::JournalPlaceFrom());
    window.show();
    return QApplication::exec();
}

#include "ui/qt/OpenDialog.h"

#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

namespace tarvex::qt {

OpenDialog::OpenDialog(QWidget* parent) : QFileDialog(parent, QStringLiteral("open Mod-file")) {
    // Filter patterns in both cases: file names on this system are case-sensitive.
    const QStringList filters = {
        QStringLiteral("Supported Files (*.mod *.nst *.lst *.stm *.s3m *.xm *.it *.wow *.MOD *.NST *.LST "
                       "*.STM *.S3M *.XM "
                       "*.IT *.WOW)"),
        QStringLiteral("MOD-Files [mod] (*.mod *.MOD)"),
        QStringLiteral("NoiseTracker-Files [nst] (*.nst *.NST)"),
        QStringLiteral("Grave Composer [wow] (*.wow *.WOW)"),
        QStringLiteral("ScreamTracker-Files [stm] (*.stm *.STM)"),
        QStringLiteral("ScreamTracker-Files [s3m] (*.s3m *.S3M)"),
        QStringLiteral("FastTracker-Files [xm] (*.xm *.XM)"),
        QStringLiteral("ImpulseTracker-Files [it] (*.it *.IT)"),
        QStringLiteral("Listfiles [lst] (*.lst *.LST)"),
        QStringLiteral("All files (*)"),
    };
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(filters);
    selectNameFilter(filters.front());
    setDefaultSuffix(QStringLiteral("mod"));
}

void OpenDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    fitHeadings();
}

void OpenDialog::fitHeadings() {
    auto* view = findChild<QTreeView*>();
    if (view == nullptr || !view->isVisible()) return;  // a native dialog draws its own
    // Qt sizes the columns from sample texts, without the room a heading takes beside its sort
    // arrow, and the names column so wide that with a larger font the last one is out of view.
    QHeaderView* header = view->header();
    for (int i = 0; i < header->count(); ++i)
        header->resizeSection(i, std::max(header->sectionSize(i), header->sectionSizeHint(i)));
    // Room kept for the scroll bar that comes once the folder's files are listed.
    const auto excessOf = [view, header] {
        return header->length() - view->maximumViewportSize().width() +
               view->verticalScrollBar()->sizeHint().width();
    };
    int excess = excessOf();
    if (excess <= 0) return;
    const int room =
        screen() != nullptr ? screen()->availableGeometry().width() - frameGeometry().width() : 0;
    const int grow = std::clamp(room, 0, excess);
    resize(width() + grow, height());
    excess = excessOf();
    // What the screen cannot give comes out of the names column, the widest by far.
    if (excess > 0)
        header->resizeSection(0, std::max(header->sectionSizeHint(0), header->sectionSize(0) - excess));
}

std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent) {
    return std::make_unique<OpenDialog>(parent);
}

}  // namespace tarvex::qt

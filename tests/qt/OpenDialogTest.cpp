#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "ui/qt/OpenDialog.h"

namespace tarvex {
namespace {

class OpenDialogTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        ASSERT_TRUE(folder.isValid());
        // The toolkit remembers the dialog's column widths: start from none, and leave the user's alone.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        // Enough files for the list's scroll bar.
        for (int i = 0; i < 60; ++i) {
            QFile file(folder.filePath(QStringLiteral("song%1.mod").arg(i)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
    void TearDown() override {
        QApplication::setFont(appFont);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }

    QTemporaryDir config;
    QTemporaryDir folder;
    const QFont appFont = QApplication::font();
};

// Each heading whole, with a sort arrow beside it, and inside the visible part of the list.
TEST_F(OpenDialogTest, EveryColumnHeadingShowsInFull) {
    for (const int points : {0, 12}) {  // the toolkit's font, and a larger one many desktops use
        SCOPED_TRACE(points);
        QFont font = appFont;
        if (points != 0) font.setPointSize(points);
        QApplication::setFont(font);
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).remove(QStringLiteral("FileDialog"));
        const std::unique_ptr<QFileDialog> dialog = qt::makeOpenDialog(nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("open Mod-file"));
        EXPECT_EQ(dialog->nameFilters().size(), 10);
        for (const char* pattern : {"*.xm ", "*.it ", "*.XM ", "*.IT "})
            EXPECT_TRUE(dialog->nameFilters().front().contains(QLatin1String(pattern))) << pattern;
        EXPECT_EQ(dialog->selectedNameFilter(), dialog->nameFilters().front());
        dialog->setDirectory(folder.path());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        auto* view = dialog->findChild<QTreeView*>();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(view->isVisible());
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 60);
        QApplication::processEvents();

        const QHeaderView* header = view->header();
        const QFontMetrics metrics(header->font());
        QStringList headings;
        for (int i = 0; i < header->count(); ++i) {
            const QString heading = header->model()->headerData(i, Qt::Horizontal).toString();
            headings << heading;
            SCOPED_TRACE(heading.toStdString());
            QStyleOptionHeader option;
            option.initFrom(header);
            option.state |= QStyle::State_Horizontal;
            option.orientation = Qt::Horizontal;
            option.rect = QRect(0, 0, header->sectionSize(i), header->height());
            option.text = heading;
            option.sortIndicator = QStyleOptionHeader::SortDown;
            const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
            EXPECT_GE(label.width(), metrics.horizontalAdvance(heading));
            EXPECT_LE(header->sectionViewportPosition(i) + header->sectionSize(i), view->viewport()->width());
        }
        EXPECT_EQ(headings, (QStringList{QStringLiteral("Name"), QStringLiteral("Size"),
                                         QStringLiteral("Type"), QStringLiteral("Date Modified")}));
        dialog->close();
    }
}

}  // namespace
}  // namespace tarvex

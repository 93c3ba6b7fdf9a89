#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>

#include "ui/qt/StatusWidgets.h"

namespace tarvex::qt {
namespace {

// The kept pictures must never show what the stock widgets would not: compared on the window's
// own ground, through changes of text, font and palette.
TEST(StatusWidgets, LookExactlyLikeTheStockWidgetsThroughEveryChange) {
    QWidget window;
    window.resize(420, 160);
    QGroupBox stockBox(QStringLiteral("Player Data"), &window);
    stockBox.setGeometry(0, 0, 200, 90);
    CachedGroupBox box(QStringLiteral("Player Data"), &window);
    box.setGeometry(210, 0, 200, 90);
    QLineEdit stockEdit(&window);
    stockEdit.setReadOnly(true);
    stockEdit.setFocusPolicy(Qt::NoFocus);
    stockEdit.setTextMargins(0, 0, 0, 0);
    stockEdit.setAlignment(Qt::AlignCenter);
    stockEdit.setGeometry(10, 100, 40, 20);
    StatusField field(&window);
    field.setGeometry(220, 100, 40, 20);
    window.show();

    struct Step {
        const char* text;
        int pointSize;  // 0: as before
        QColor text_colour;
    };
    const Step steps[] = {
        {"00", 0, {}},   {"3F", 0, {}}, {"1:05", 0, {}},     {"00", 0, {}},  // the first text again, kept
        {"125", 14, {}}, {"00", 0, {}}, {"99%", 0, Qt::red}, {"", 0, {}},   {"Wj", 6, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.text);
        if (step.pointSize > 0) {
            QFont font = window.font();
            font.setPointSize(step.pointSize);
            window.setFont(font);
        }
        if (step.text_colour.isValid()) {
            QPalette palette = window.palette();
            palette.setColor(QPalette::Text, step.text_colour);
            palette.setColor(QPalette::Window, step.text_colour.lighter(190));
            window.setPalette(palette);
        }
        stockEdit.setText(QString::fromLatin1(step.text));
        stockEdit.setCursorPosition(0);
        field.setText(QString::fromLatin1(step.text));
        EXPECT_EQ(field.text(), QString::fromLatin1(step.text));
        EXPECT_EQ(field.accessibleName(), QString::fromLatin1(step.text));
        // Twice: the first paint after a change draws anew, the next copies what it kept.
        for (int pass = 0; pass < 2; ++pass) {
            QApplication::processEvents();
            EXPECT_EQ(window.grab(field.geometry()).toImage(), window.grab(stockEdit.geometry()).toImage());
            EXPECT_EQ(window.grab(box.geometry()).toImage(), window.grab(stockBox.geometry()).toImage());
        }
    }
}

}  // namespace
}  // namespace tarvex::qt

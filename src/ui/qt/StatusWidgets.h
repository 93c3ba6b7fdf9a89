// Widgets of the main window that repaint many times a second while a song plays. They look
// exactly like the stock ones they stand for, but keep what is costly to draw: the frame and title
// of a group box, the laid-out text of a field.
#pragma once

#include <QGroupBox>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

namespace tarvex::qt {

// A group box drawn once into a picture that later repaints copy. The status fields and panels
// lie over the boxes; every change of theirs would otherwise draw the box's frame and title again.
class CachedGroupBox : public QGroupBox {
   public:
    CachedGroupBox(const QString& title, QWidget* parent);

   protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

   private:
    void takePicture();
    // A picture was taken, at the screen's present pixel ratio.
    bool hasPicture() const;

    QPixmap picture_;
    bool drawing_ = false;
};

// A read-only field of the status display, drawn as a read-only line edit with its text centred,
// without a cursor, that keeps the texts it has laid out.
class StatusField : public QWidget {
   public:
    explicit StatusField(QWidget* parent);

    QString text() const { return text_; }
    // Repaints only when the text differs.
    void setText(const QString& text);

   protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

   private:
    struct LaidOut {
        QStaticText text;
        int height = 0;  // of the line it is centred on
    };
    LaidOut layOut(const QString& text) const;

    QString text_;
    LaidOut shown_;
    QHash<QString, LaidOut> laidOut_;
};

}  // namespace tarvex::qt

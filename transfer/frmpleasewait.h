#pragma once
// The small window shown while the diskette is erased: "Please wait..."
// gaining one "." a second (whenever events are let through).

#include <QDialog>
#include <QLabel>
#include <QTimer>

class frmPleaseWait : public QDialog {
    Q_OBJECT
public:
    // Not modal; owned by and centred over `owner`.
    explicit frmPleaseWait(QWidget *owner);

    // Shows the window without blocking and paints it at once.
    void Form_Load();
    void Timer1_Timer();

    QLabel *Label1;  // "Please wait..."
    QTimer *Timer1;  // one more "." a second

protected:
    // Only the work it waits for ends it, by discarding the window.
    void closeEvent(QCloseEvent *event) override;
    void reject() override {}
};

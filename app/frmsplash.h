#pragma once
// The picture window shown for three seconds at start-up.

#include <QDialog>
#include <QLabel>
#include <QTimer>

class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QLabel *Image1;    // the splash picture, stretched to the window
    QLabel *Label1;    // "Version 1.0"
    QLabel *Label2[2]; // the maker's details
    QTimer *Timer1;    // closes the splash after 3000 ms

protected:
    void keyPressEvent(QKeyEvent *) override {}  // keys do not close it
    void reject() override {}                    // nor does Esc
    void showEvent(QShowEvent *) override;
    void closeEvent(QCloseEvent *) override;  // only the timer closes it

private:
    bool m_timeUp = false;
};

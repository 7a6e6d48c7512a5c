// The splash screen, which doubles as the about box. At start-up it shows
// the picture while the active list loads (the loader shows
// SplashLoadingLabel and LoadBar and drives the bar); as the about box it is
// configured by ConfigureAsAbout and shown modally. It frees itself when
// closed, so create it with new.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <string>

namespace tarnel {

class TLog;

class TSplashScreen : public QDialog {
    Q_OBJECT
public:
    // `log` receives a line for each picture that cannot be shown.
    TSplashScreen(QWidget* parent, TLog* log);

    // The about box's texts and visibility; the load bar stays hidden, so a
    // click on the picture closes the window. `version` ("Version 2.7 -
    // Release 0 - Build 113") leads the build line.
    void ConfigureAsAbout(const std::string& version = {});

    QFrame* Panel1;
    QLabel* Image1;
    QLabel* Label1;  // copyright line
    QLabel* Label2;  // author line
    QLabel* SplashLoadingLabel;
    QProgressBar* LoadBar;
    QLabel* Build;
    QLabel* MachineLabel;  // which machine the program works on (about box only)
    QLabel* TestedOn;
    QLabel* Freeware;
    QLabel* mailAddress;
    QLabel* RecycledImage;

public slots:
    // Closes the window unless the load bar is showing.
    void Image1Click();

private:
    void PlaceRecycledImage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarnel

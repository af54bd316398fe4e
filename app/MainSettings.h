#pragma once

#include "settings/Settings.h"

class TfrmVelmo;

// The main window as the settings load and save see it: geometry, pane sizes,
// tool bar positions, the remembered tree width and the command line.
class TMainSettingsWindow : public TSettingsWindow {
public:
    explicit TMainSettingsWindow(TfrmVelmo& form) : Form(form) {}

    int Top() const override;
    void SetTop(int value) override;
    int Left() const override;
    void SetLeft(int value) override;
    int Width() const override;
    void SetWidth(int value) override;
    int Height() const override;
    void SetHeight(int value) override;
    TWindowState WindowState() const override;
    void SetWindowState(TWindowState state) override;
    QSize ScreenSize() const override;

    void SetPnlLeftWidth(int value) override;
    void SetPnlLeftTopHeight(int value) override;
    int SplMainLeft() const override;
    int SplLeftTop() const override;

    int TlbActionTop() const override;
    void SetTlbActionTop(int value) override;
    int TlbActionLeft() const override;
    void SetTlbActionLeft(int value) override;
    int TlbMainTop() const override;
    void SetTlbMainTop(int value) override;
    int TlbMainLeft() const override;
    void SetTlbMainLeft(int value) override;

    int SplMainPos() const override;
    void SetSplMainPos(int value) override;

    QStringList Arguments() const override;

private:
    TfrmVelmo& Form;
};

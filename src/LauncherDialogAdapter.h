#pragma once
// The platform's launcher and options dialogs shown over the launcher's models. Kept next to
// main.cpp: the framework owns the models but does not link the dialogs; only the program does.

#include "Framework/Launcher.h"
#include "Platform/Dialogs/LauncherDialog.h"

class CPOptionsDialogAdapter : public Platform::Dialogs::IOptionsController {
public:
    explicit CPOptionsDialogAdapter(CPOptionsModel& model) : m_model(model) {}
    void Init() override { m_model.Init(); }
    bool IsChecked(int control) const override { return m_model.IsChecked(control); }
    bool IsEnabled(int control) const override { return m_model.IsEnabled(control); }
    void SetChecked(int control, bool checked) override { m_model.SetChecked(control, checked); }
    int Command(int control) override { return m_model.Command(control); }
    int Close() override { return m_model.Close(); }

private:
    CPOptionsModel& m_model;
};

class CPLauncherDialogAdapter : public Platform::Dialogs::ILauncherController {
public:
    explicit CPLauncherDialogAdapter(CPLauncherModel& model) : m_model(model), m_options(model.Options()) {}
    std::vector<std::string> Items() const override { return m_model.Items(); }
    int Selection() const override { return m_model.Selection(); }
    void Select(int item) override { m_model.Select(item); }
    int Command(int command) override { return m_model.Command(command); }
    int Close() override { return m_model.Close(); }
    Platform::Dialogs::IOptionsController& Options() override { return m_options; }

private:
    CPLauncherModel& m_model;
    CPOptionsDialogAdapter m_options;
};

// Shows the launcher over the model; answers 1000, 1002 or 1003.
inline int ShowLauncherDialog(CPLauncherModel& model) {
    CPLauncherDialogAdapter adapter(model);
    return Platform::Dialogs::RunLauncherDialog(adapter, "Korvaxa");
}

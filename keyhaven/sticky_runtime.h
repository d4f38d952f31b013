// sticky_runtime.h - what Keyhaven does while the feature is on: applying the
// options to the keyboard controller, following the Fn key through released,
// latched and locked, the idle auto-reset, and suspend and resume. Its
// effects go through StickyEffects, so the rules run without a window.
#pragma once

#include <windows.h>

#include "resource.h"
#include "settings.h"

// The notification-area icon's pictures.
enum FnIcon { FN_ICON_ON = IDI_FN_ON, FN_ICON_OFF = IDI_FN_OFF };

class StickyEffects {
public:
    // The four controller commands; non-zero means success.
    virtual int EnableStickyKey() = 0;
    virtual int DisableStickyKey() = 0;
    virtual int FnKeyDown() = 0;
    virtual int FnKeyUp() = 0;

    virtual void PlaySound(const char* file) = 0;
    // message: NIM_ADD or NIM_MODIFY.
    virtual void ShowIcon(DWORD message, FnIcon icon) = 0;
    virtual void RemoveIcon() = 0;
    virtual void StartIdleTimer() = 0;
    virtual void StopIdleTimer() = 0;
    // Shows a failure; returns when the user has closed it. Other handlers
    // may run meanwhile.
    virtual void ReportError(const char* text) = 0;
    // Ends the program once the current handler has returned.
    virtual void Quit() = 0;

protected:
    ~StickyEffects() {}
};

// Seconds between two idle ticks.
constexpr UINT kIdleTickSeconds = 5;

class StickyRuntime {
public:
    explicit StickyRuntime(StickyEffects& effects);

    // Applies the options (feature on or off); never changes the Fn state.
    void Apply(const KeyhavenSettings& options);
    // The Fn events of the keyboard component.
    void FnPress();
    void FnUnlatch();
    // One idle tick. Returns true when it switched the feature off for good:
    // the caller then saves the settings as switched off and quits.
    bool IdleTick(bool playResetSound);
    // Leaving with the feature off (OK): releases Fn, switches the feature off,
    // removes the icon.
    void Leave();
    // A second start asked this one to end: nothing more happens afterwards.
    void CloseRequest();
    // Suspend and resume; a resume restores the stored state once per suspend.
    void Suspend();
    bool ResumePending() const;
    void Resume(const StoredFnState& stored);
    // The shell was restarted: an icon that was shown is added again.
    void ShellRestarted();
    // Removes the notification-area icon if it is shown.
    void DropIcon();

    int FnState() const { return fnState_; }
    // The options last applied; all off before the first apply.
    const KeyhavenSettings& Applied() const { return applied_; }
    bool Closed() const { return closed_; }

private:
    void ApplyOn(const KeyhavenSettings& options);
    void ApplyOff();
    bool Audible() const;
    void Latch();
    void Release();
    void SetIcon(DWORD message, FnIcon icon);
    bool Report(const char* text);
    void ReportFnError(const char* text);
    bool Finished() const { return closed_ || reset_; }

    StickyEffects& effects_;
    KeyhavenSettings applied_;
    bool autoReset_;
    int fnState_;
    UINT idleLimit_;    // seconds
    UINT idleSeconds_;  // seconds, counted in ticks
    bool iconShown_;
    bool errorShown_;
    bool closed_;
    bool reset_;
    bool resumed_;
};

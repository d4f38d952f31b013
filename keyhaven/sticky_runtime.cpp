// sticky_runtime.cpp - the Fn state machine, applying the options, the idle
// auto-reset, and suspend and resume.
#include "sticky_runtime.h"

namespace {

const char kSoundLatch[] = "keyTmpLock.wav";
const char kSoundLock[] = "keyLock.wav";
const char kSoundRelease[] = "keyUnlock.wav";
const char kSoundReset[] = "Disable.wav";

constexpr UINT kSecondsPerMinute = 60;

bool HoldsFn(int fnState)
{
    return fnState == FN_LATCHED || fnState == FN_LOCKED;
}

KeyhavenSettings NothingApplied()
{
    KeyhavenSettings none;
    none.enabled = none.lockTwice = none.soundOnPress = none.showStatus = none.unstick = none.resetSound = false;
    return none;
}

}  // namespace

StickyRuntime::StickyRuntime(StickyEffects& effects)
    : effects_(effects),
      applied_(NothingApplied()),
      autoReset_(false),
      fnState_(FN_RELEASED),
      idleLimit_(0),
      idleSeconds_(0),
      iconShown_(false),
      errorShown_(false),
      closed_(false),
      reset_(false),
      resumed_(false)
{
}

void StickyRuntime::SetIcon(DWORD message, FnIcon icon)
{
    effects_.ShowIcon(message, icon);
    if (message == NIM_ADD) iconShown_ = true;
}

// The shell is asked once: under a busy shell every removal is a wait.
void StickyRuntime::DropIcon()
{
    if (!iconShown_) return;
    effects_.RemoveIcon();
    iconShown_ = false;
}

// At most one failure is on the screen: one that happens while another is
// shown (a handler run from the box's message loop) is not shown again.
// Returns true when the box was shown.
bool StickyRuntime::Report(const char* text)
{
    if (errorShown_) return false;
    errorShown_ = true;
    effects_.ReportError(text);
    errorShown_ = false;
    return true;
}

// While the box is open, Fn events are followed by the state and the icon
// only: no sound, no controller command. When it has been closed, the
// controller is given the one command that matches the state, so that state,
// icon and controller agree again as soon as the controller answers.
void StickyRuntime::ReportFnError(const char* text)
{
    if (!Report(text) || Finished()) return;
    if (HoldsFn(fnState_)) {
        effects_.FnKeyDown();
    } else {
        effects_.FnKeyUp();
    }
}

void StickyRuntime::Apply(const KeyhavenSettings& options)
{
    if (Finished()) return;
    if (options.enabled) {
        ApplyOn(options);
    } else {
        ApplyOff();
    }
}

void StickyRuntime::ApplyOn(const KeyhavenSettings& options)
{
    applied_.enabled = true;
    // On failure the options are still applied (and saved as switched on)
    // before the program ends.
    if (!effects_.EnableStickyKey()) {
        Report("Enable StickyKey fail!");
        if (closed_) return;
        effects_.Quit();
    }
    applied_.lockTwice = options.lockTwice;
    applied_.soundOnPress = options.soundOnPress;
    if (options.showStatus) {
        SetIcon(NIM_ADD, FN_ICON_OFF);
        applied_.showStatus = true;
    } else {
        DropIcon();
        applied_.showStatus = false;
    }
    if (options.unstick) {
        idleSeconds_ = 0;
        effects_.StartIdleTimer();
        autoReset_ = applied_.unstick = true;
        applied_.resetMinutes = ValidResetMinutes(options.resetMinutes);
        idleLimit_ = static_cast<UINT>(applied_.resetMinutes) * kSecondsPerMinute;
        applied_.resetSound = options.resetSound;
    } else {
        autoReset_ = applied_.unstick = false;
        effects_.StopIdleTimer();
    }
}

void StickyRuntime::ApplyOff()
{
    applied_.enabled = false;
    effects_.StopIdleTimer();
    effects_.FnKeyUp();
    if (!effects_.DisableStickyKey()) {
        Report("Disable StickyKey fail!");
        if (closed_) return;
        effects_.Quit();
    }
    DropIcon();
}

bool StickyRuntime::Audible() const
{
    return applied_.soundOnPress && !errorShown_;
}

void StickyRuntime::Latch()
{
    fnState_ = FN_LATCHED;
    if (Audible()) effects_.PlaySound(kSoundLatch);
    SetIcon(NIM_MODIFY, FN_ICON_ON);
    if (errorShown_) return;
    if (!effects_.FnKeyDown()) ReportFnError("Fn key down error");
}

// Every step to FN_RELEASED caused by an Fn message.
void StickyRuntime::Release()
{
    fnState_ = FN_RELEASED;
    SetIcon(NIM_MODIFY, FN_ICON_OFF);
    if (errorShown_) return;
    if (!effects_.FnKeyUp()) ReportFnError("Fn key up error");
    if (Finished()) return;
    if (Audible()) effects_.PlaySound(kSoundRelease);
}

void StickyRuntime::FnPress()
{
    if (Finished()) return;
    idleSeconds_ = 0;
    if (fnState_ == FN_RELEASED) {
        Latch();
    } else if (fnState_ == FN_LATCHED && applied_.lockTwice) {
        fnState_ = FN_LOCKED;
        if (Audible()) effects_.PlaySound(kSoundLock);
    } else {
        Release();
    }
}

void StickyRuntime::FnUnlatch()
{
    if (Finished()) return;
    idleSeconds_ = 0;
    if (fnState_ == FN_LATCHED) Release();
}

bool StickyRuntime::IdleTick(bool playResetSound)
{
    if (Finished()) return false;
    idleSeconds_ += kIdleTickSeconds;
    if (idleSeconds_ < idleLimit_ || !autoReset_) return false;
    reset_ = true;
    effects_.StopIdleTimer();
    // A held Fn is released before the feature goes off.
    effects_.FnKeyUp();
    if (!effects_.DisableStickyKey()) {
        Report("Disable StickyKey fail!");
        if (closed_) return false;
    }
    DropIcon();
    if (playResetSound) effects_.PlaySound(kSoundReset);
    return true;
}

void StickyRuntime::Leave()
{
    if (Finished()) return;
    effects_.StopIdleTimer();
    effects_.FnKeyUp();
    if (!effects_.DisableStickyKey()) {
        Report("Disable StickyKey fail!");
        if (closed_) return;
    }
    DropIcon();
}

void StickyRuntime::CloseRequest()
{
    if (closed_) return;
    closed_ = true;
    effects_.FnKeyUp();
    effects_.DisableStickyKey();
    DropIcon();
}

void StickyRuntime::Suspend()
{
    resumed_ = false;
}

bool StickyRuntime::ResumePending() const
{
    return !resumed_ && !Finished();
}

void StickyRuntime::Resume(const StoredFnState& stored)
{
    if (!ResumePending()) return;
    resumed_ = true;
    if (!stored.enabled) {
        effects_.DisableStickyKey();
        DropIcon();
        return;
    }
    effects_.EnableStickyKey();
    // Anything but latched or locked counts as released.
    fnState_ = HoldsFn(stored.fnState) ? stored.fnState : FN_RELEASED;
    if (HoldsFn(fnState_)) {
        effects_.ShowIcon(NIM_MODIFY, FN_ICON_ON);
        effects_.FnKeyDown();
    } else {
        effects_.ShowIcon(NIM_MODIFY, FN_ICON_OFF);
        effects_.FnKeyUp();
    }
}

void StickyRuntime::ShellRestarted()
{
    if (iconShown_ && !Finished()) SetIcon(NIM_ADD, HoldsFn(fnState_) ? FN_ICON_ON : FN_ICON_OFF);
}

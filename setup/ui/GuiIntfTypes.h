#pragma once
// The message boxes and window placement of setup behind one
// reference-counted interface, so that the engine, the dialog and the file
// services ask and report the same way, and tests can put their own in.
// Platform-neutral: no <windows.h> here.

#include <cstdint>
#include <string>

#include "platform/PlatformIntfTypes.h"
#include "platform/RefCounted.h"
// The message kinds mkError (0), mkInfo (1) and mkWarning (2): the same
// numbering as the engine's OnMessage kinds.
#include "setup/engine/KvtDistr.h"

using TMessageKind = std::int32_t;

// Every box is top-most, carries its caption and the texts of its Yes, No,
// Cancel, Retry, Ignore and Abort buttons from the message catalogues (OK
// keeps the system's text), and is owned by the given or the active window.
// Operations that show a box return 0 (false for Confirm) when no box could
// be shown, with the reason in the thread's last error.
class IGuiTools : public IInterface {
public:
  // Centres window on owner, or without one on its visible parent or else on
  // the visible active window; with fit, a window more than three times the
  // owner's width or height is centred on the owner's monitor work area. The
  // window stays inside the work area of that monitor.
  virtual void CenterWindow(WindowHandle window, WindowHandle owner, bool fit) = 0;
  // An OK box with the kind's icon; an empty caption means the kind's
  // caption (rsCaptionError, rsCaptionInfo, rsCaptionWarning; another kind
  // gets no icon and rsCaptionInfo). With centre, centred on its owner.
  virtual std::int32_t ShowMessage(TMessageKind kind, const std::wstring& text, const std::wstring& caption,
                                   bool centre) = 0;
  // Moves the mouse over the notification area of the task bar, which makes
  // it drop the icons of programs that no longer run.
  virtual void RefreshTrayArea() = 0;
  // A Yes/No question; an empty caption means rsCaptionConfirm, a null owner
  // the active window. True only when the answer is Yes.
  virtual bool Confirm(const std::wstring& text, const std::wstring& caption, bool centre, WindowHandle owner) = 0;
  // A box with the caller's flags unchanged, always centred on its owner.
  // Returns the pressed button's identifier (IDYES, IDNO, ...).
  virtual std::int32_t MessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption) = 0;
};

// The process-wide instance, made on first use.
IGuiTools& GuiTools();

// Replaces the process-wide instance (test seams); returns the previous one
// so that the caller can put it back. A null argument brings back the
// system's own on the next use.
RefPtr<IGuiTools> SetGuiTools(RefPtr<IGuiTools> tools);

// The system's implementation, as GuiTools() makes it.
RefPtr<IGuiTools> CreateSystemGuiTools();

// An error box centred on its owner; an empty caption means rsCaptionError.
void ShowErrorMessage(const std::wstring& text, const std::wstring& caption = {});

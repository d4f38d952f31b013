// dialog_preview: shows Keyhaven's settings dialog template with every text
// loaded from Keyhaven.exe's string table in a chosen language, so that a
// person can look at a translation in place. Nothing is applied or saved.
//
//   dialog_preview [LANGUAGE] [--exe PATH] [--close-after SECONDS]
//
// LANGUAGE is a locale name (ja-JP, ru-RU, de-DE...) or a language id in
// decimal or hex (1041, 0x0411); default: the thread's own language.
// Keyhaven.exe is looked for beside this program unless --exe names it.
// With --close-after the window closes by itself (for screenshots).
#include "program_folder.h"
#include "settings_texts.h"

#include "resource.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr UINT_PTR kCloseTimer = 1;

struct Options {
    LANGID language = 0;
    std::wstring exePath;
    UINT closeAfterSeconds = 0;
    bool valid = true;
};

LANGID ParseLanguage(const wchar_t* text)
{
    wchar_t* end = nullptr;
    unsigned long number = wcstoul(text, &end, 0);
    if (end != text && *end == L'\0')
        return number <= 0xFFFF ? static_cast<LANGID>(number) : 0;
    LCID locale = LocaleNameToLCID(text, 0);
    return LANGIDFROMLCID(locale);
}

Options ParseOptions(int count, wchar_t** args)
{
    Options options;
    options.exePath = programfolder::Wide() + L"Keyhaven.exe";
    for (int i = 1; i < count && options.valid; ++i) {
        std::wstring arg = args[i];
        if (arg == L"--exe" && i + 1 < count) {
            options.exePath = args[++i];
        } else if (arg == L"--close-after" && i + 1 < count) {
            options.closeAfterSeconds = static_cast<UINT>(wcstoul(args[++i], nullptr, 10));
        } else if (arg[0] != L'-' && options.language == 0) {
            options.language = ParseLanguage(args[i]);
            options.valid = options.language != 0;
        } else {
            options.valid = false;
        }
    }
    return options;
}

void UseLanguage(LANGID language)
{
    // Windows' resource loader follows the UI language, Wine's the thread locale.
    SetThreadUILanguage(language);
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
}

// Shows the dialog the way it looks with the feature on and every option
// enabled, so that no text is greyed out.
void CheckAllOptions(HWND dialog)
{
    for (int id : {IDC_USE_FNSTICKY, IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_SOUND_RESET})
        CheckDlgButton(dialog, id, BST_CHECKED);
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            DestroyWindow(dialog);
        return TRUE;
    case WM_TIMER:
        if (wParam == kCloseTimer)
            DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

// Activates the executable's own manifest, so that the controls are drawn by
// the same common-controls version as in the program. Returns the context to
// release, or INVALID_HANDLE_VALUE when the manifest cannot be used.
HANDLE ActivateManifest(const std::wstring& exePath, ULONG_PTR& cookie)
{
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = exePath.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    if (handle != INVALID_HANDLE_VALUE && !ActivateActCtx(handle, &cookie)) {
        ReleaseActCtx(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    return handle;
}

int RunPreview(const Options& options, HMODULE image)
{
    ULONG_PTR cookie = 0;
    HANDLE manifest = ActivateManifest(options.exePath, cookie);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int result = 0;
    HWND dialog = CreateDialogParamW(image, MAKEINTRESOURCEW(IDD_KEYHAVEN_DIALOG), nullptr, PreviewProc, 0);
    if (!dialog) {
        fwprintf(stderr, L"dialog_preview: cannot create the settings dialog (error %lu)\n", GetLastError());
        result = 1;
    } else {
        dialogpreview::ApplySettingsTexts(dialog, image);
        CheckAllOptions(dialog);
        if (options.closeAfterSeconds)
            SetTimer(dialog, kCloseTimer, options.closeAfterSeconds * 1000, nullptr);
        ShowWindow(dialog, SW_SHOW);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    if (manifest != INVALID_HANDLE_VALUE) {
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(manifest);
    }
    return result;
}

}  // namespace

int wmain(int count, wchar_t** args)
{
    Options options = ParseOptions(count, args);
    if (!options.valid) {
        fwprintf(stderr, L"usage: dialog_preview [LANGUAGE] [--exe PATH] [--close-after SECONDS]\n");
        return 2;
    }
    HMODULE image = LoadLibraryExW(options.exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image) {
        fwprintf(stderr, L"dialog_preview: cannot open %ls (error %lu)\n", options.exePath.c_str(), GetLastError());
        return 1;
    }
    if (options.language)
        UseLanguage(options.language);
    int result = RunPreview(options, image);
    FreeLibrary(image);
    return result;
}

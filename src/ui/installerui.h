#pragma once
#include <windows.h>

// The Windows Installer's external user-interface handler: it turns the
// installer's progress records into movement of the wizard's progress bar
// and answers with the cancel decision. The context is the wizard.
INT CALLBACK InstallerUiHandler(LPVOID pvContext, UINT uMessageType, LPCWSTR szMessage);

// Parses a progress record ("1: 0 2: 416914 3: 0 4: 0 ") in place into four
// fields. False for an empty, short or malformed record.
bool ParseProgressFields(LPWSTR szText, int rgFields[4]);
// Reads a number up to the next space or the end, terminating it in place;
// the position moves to the terminator.
int ReadNumberField(LPWSTR* ppPosition);

// The installer progress state, kept across every installation of the process.
struct InstallerProgress
{
    int nTotal;
    bool fForward;
    int nStart;
    int nCurrent;
    bool fScriptRunning;
};

// What a progress record asks of the bar: set the range (when fSetRange) and
// the position (when fSetPosition).
struct ProgressAction
{
    bool fSetRange;
    int nRange;
    bool fSetPosition;
    int nPosition;
};
ProgressAction ApplyProgressRecord(InstallerProgress* pProgress, const int rgFields[4]);
InstallerProgress& GetInstallerProgress();
void ResetInstallerProgress();

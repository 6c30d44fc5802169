/* A stand-in hid.dll for the tests of the HID services above hid.dll: every
 * interface handle is a programmer interface whose feature report length the
 * test sets; feature report requests are recorded, and reads return a
 * pattern (byte i holds i). Every call leaves its letter in a call log:
 * A attributes, P preparsed data, C capabilities, F free, G get feature,
 * S set feature. Exported undecorated (--kill-at). */
#include <windows.h>
#include <string.h>

#define EXPORT __declspec(dllexport)

typedef struct {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
} Attributes;

typedef struct {
    USHORT Usage;
    USHORT UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT Counts[10];
} Caps;

static int preparsedToken;
static USHORT featureLength = 6;
static ULONG lastSetLength;
static ULONG lastGetLength;
static unsigned char lastSet[4096];
static char calls[256];
static int callCount;

static void note(char call) {
    if (callCount < (int)sizeof calls - 1) calls[callCount++] = call;
    calls[callCount] = 0;
}

EXPORT BOOLEAN WINAPI HidD_GetAttributes(HANDLE handle, Attributes* attributes) {
    (void)handle;
    note('A');
    attributes->VendorID = 0x0416;
    attributes->ProductID = 0x9391;
    attributes->VersionNumber = 0x0100;
    return TRUE;
}

EXPORT void WINAPI HidD_GetHidGuid(GUID* guid) { memset(guid, 0x11, sizeof *guid); }

EXPORT BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE handle, void** preparsed) {
    (void)handle;
    note('P');
    *preparsed = &preparsedToken;
    return TRUE;
}

EXPORT BOOLEAN WINAPI HidD_FreePreparsedData(void* preparsed) {
    note('F');
    return preparsed == &preparsedToken;
}

EXPORT BOOLEAN WINAPI HidD_GetFeature(HANDLE handle, void* buffer, ULONG length) {
    ULONG i;
    (void)handle;
    note('G');
    lastGetLength = length;
    for (i = 1; i < length; ++i) ((unsigned char*)buffer)[i] = (unsigned char)i;
    return TRUE;
}

EXPORT BOOLEAN WINAPI HidD_SetFeature(HANDLE handle, void* buffer, ULONG length) {
    (void)handle;
    note('S');
    lastSetLength = length;
    memcpy(lastSet, buffer, length < sizeof lastSet ? length : sizeof lastSet);
    return TRUE;
}

EXPORT LONG WINAPI HidP_GetCaps(void* preparsed, Caps* caps) {
    note('C');
    if (preparsed != &preparsedToken) return (LONG)0xC0110001;
    memset(caps, 0, sizeof *caps);
    caps->UsagePage = 0xFF00;
    caps->Usage = 1;
    caps->FeatureReportByteLength = featureLength;
    return 0x00110000;
}

/* The test's controls. */
EXPORT void WINAPI RecordingSetFeatureLength(USHORT length) { featureLength = length; }
EXPORT ULONG WINAPI RecordingLastSetLength(void) { return lastSetLength; }
EXPORT ULONG WINAPI RecordingLastGetLength(void) { return lastGetLength; }
EXPORT const unsigned char* WINAPI RecordingLastSet(void) { return lastSet; }
/* The calls since the last time the log was taken, and a fresh log. */
EXPORT const char* WINAPI RecordingTakeCalls(void) {
    static char taken[256];
    memcpy(taken, calls, sizeof taken);
    callCount = 0;
    calls[0] = 0;
    return taken;
}

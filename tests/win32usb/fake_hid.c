/* A stand-in hid.dll for the tests: it exports six of the seven entry points
 * the HID binding needs (HidD_GetHidGuid is missing) and a marker that tells
 * it apart from the system's library. Nothing here is ever called. */
#define FAKE_EXPORT __declspec(dllexport)

FAKE_EXPORT int HidD_GetAttributes(void) { return 0; }
FAKE_EXPORT int HidD_GetPreparsedData(void) { return 0; }
FAKE_EXPORT int HidD_FreePreparsedData(void) { return 0; }
FAKE_EXPORT int HidD_GetFeature(void) { return 0; }
FAKE_EXPORT int HidD_SetFeature(void) { return 0; }
FAKE_EXPORT int HidP_GetCaps(void) { return 0; }
FAKE_EXPORT int VmFakeHidMarker(void) { return 1; }

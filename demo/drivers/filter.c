/* A stand-in filter server for the demo machine's DirectShow registrations.
 *
 * The program only reads these files' version resources; the server itself
 * offers no class, so a host that loads it gets a clean refusal. Built
 * without the C runtime, importing nothing. */

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *object)
{
    if (object) *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow(void)
{
    return S_OK;
}

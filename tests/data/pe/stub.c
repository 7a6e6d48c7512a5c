/* Smallest possible driver image: an entry point for the loader and the
 * driver procedure the codec manager looks for. It accepts every message. */
int __stdcall DllEntry(void* module, unsigned long reason, void* reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}

/* Without it the image is a library the codec manager refuses. */
#ifndef NO_DRIVER_PROCEDURE
__declspec(dllexport) long __stdcall DriverProc(unsigned long id, void* driver, unsigned int msg, long p1, long p2)
{
    (void)id;
    (void)driver;
    (void)msg;
    (void)p1;
    (void)p2;
    return 1;
}
#endif

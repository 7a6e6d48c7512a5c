/* Smallest possible driver image: the loader only needs an entry point. */
int __stdcall DllEntry(void* module, unsigned long reason, void* reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}

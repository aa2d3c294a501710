// A program that does nothing: what matters is the version resource its
// build gives it (VersionProbe.rc), read by the program-information tests.
int main()
{
    return 0;
}

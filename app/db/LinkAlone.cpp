// The database layer linked on its own (see CMakeLists.txt): nothing to run.
int main()
{
    return 0;
}

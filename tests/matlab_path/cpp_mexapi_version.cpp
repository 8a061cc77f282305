// The API-version query that MATLAB's build adds to every MEX file.
extern "C" void mexfilerequiredapiversion(unsigned int* builtByRelease,
                                          unsigned int* targetApiVersion)
{
    *builtByRelease = 0;
    *targetApiVersion = 0;
}

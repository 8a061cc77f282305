#pragma once
// The stand-in host's array interface: the host operations the plug-ins call,
// declared as the 32-bit-compatible array API declares them. Array sizes are
// passed as 32-bit ints (mwSize), and the plain creation names map onto their
// _700 forms, so an entry layer built here makes exactly the calls it makes
// under MATLAB with `mex -compatibleArrayDims`.

#include <cstddef>

extern "C" {

typedef struct standin_array mxArray;
typedef int mwSize;
typedef int mwIndex;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS = 1,
    mxSTRUCT_CLASS = 2,
    mxLOGICAL_CLASS = 3,
    mxCHAR_CLASS = 4,
    mxVOID_CLASS = 5,
    mxDOUBLE_CLASS = 6,
    mxSINGLE_CLASS = 7,
    mxINT8_CLASS = 8,
    mxUINT8_CLASS = 9,
    mxINT16_CLASS = 10,
    mxUINT16_CLASS = 11,
    mxINT32_CLASS = 12,
    mxUINT32_CLASS = 13,
    mxINT64_CLASS = 14,
    mxUINT64_CLASS = 15
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;
typedef bool mxLogical;

// Shape and data.
size_t mxGetM(const mxArray* array);
size_t mxGetN(const mxArray* array); // product of every dimension after the first
size_t mxGetNumberOfElements(const mxArray* array);
mwSize mxGetNumberOfDimensions_700(const mxArray* array);
const mwSize* mxGetDimensions_700(const mxArray* array);
double* mxGetPr(const mxArray* array); // nullptr for cell and struct arrays and when empty
void* mxGetData(const mxArray* array); // likewise
mxLogical* mxGetLogicals(const mxArray* array);
mxArray* mxGetCell(const mxArray* array, mwIndex index); // every cell holds no array
int mxGetNumberOfFields(const mxArray* array);
size_t mxGetElementSize(const mxArray* array);

// Creation: new arrays are zero-filled.
mxArray* mxCreateDoubleMatrix_700(mwSize rows, mwSize columns, mxComplexity complexity);
mxArray* mxCreateNumericArray_700(mwSize ndims, const mwSize* dims, mxClassID classId,
                                  mxComplexity complexity);
mxArray* mxCreateNumericMatrix_700(mwSize rows, mwSize columns, mxClassID classId,
                                   mxComplexity complexity);
mxArray* mxCreateSparse_700(mwSize rows, mwSize columns, mwSize nonzeros, mxComplexity complexity);
mxArray* mxCreateSparseLogicalMatrix_700(mwSize rows, mwSize columns, mwSize nonzeros);
mxArray* mxCreateLogicalMatrix_700(mwSize rows, mwSize columns);
mxArray* mxCreateCellMatrix_700(mwSize rows, mwSize columns);
mxArray* mxCreateStructMatrix_700(mwSize rows, mwSize columns, int fields, const char** names);
mxArray* mxCreateDoubleScalar(double value);
void mxDestroyArray(mxArray* array);

// Working memory.
void* mxMalloc(size_t bytes);
void* mxCalloc(size_t count, size_t elementSize);
void mxFree(void* block);

// Classification.
bool mxIsComplex(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsSparse(const mxArray* array);
bool mxIsSingle(const mxArray* array);
bool mxIsLogical(const mxArray* array);
bool mxIsChar(const mxArray* array);
bool mxIsCell(const mxArray* array);
bool mxIsStruct(const mxArray* array);
bool mxIsNumeric(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
mxClassID mxGetClassID(const mxArray* array);
bool mxIsFinite(double value);
bool mxIsInf(double value);
bool mxIsNaN(double value);
double mxGetInf(void);

// Messages.
[[noreturn]] void mexErrMsgTxt(const char* message);
int mexPrintf(const char* format, ...);

// The one export of every plug-in.
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
}

#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700
#define mxCreateNumericArray mxCreateNumericArray_700
#define mxCreateNumericMatrix mxCreateNumericMatrix_700
#define mxCreateSparse mxCreateSparse_700
#define mxCreateSparseLogicalMatrix mxCreateSparseLogicalMatrix_700
#define mxCreateLogicalMatrix mxCreateLogicalMatrix_700
#define mxCreateCellMatrix mxCreateCellMatrix_700
#define mxCreateStructMatrix mxCreateStructMatrix_700
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_700
#define mxGetDimensions mxGetDimensions_700

#define PY_SSIZE_T_CLEAN
#include <Python.h>

static PyModuleDef quilvarn_module = {PyModuleDef_HEAD_INIT, "quilvarn", "", 0, nullptr,
                                      nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit_quilvarn() { return PyModule_Create(&quilvarn_module); }

#include "internet.h"

// ---- transfers ----

// ---- update descriptor and target folders ----

// ---- install run and download log ----

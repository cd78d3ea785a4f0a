// install_check.h -- what an install must find before it writes anything: each archive it
// extracts and the archive's file list readable, and every listed name one that can be created
// in the destination.

#pragma once

#include "common/installer_state.h"

enum MediumProblem {
    MEDIUM_OK,
    MEDIUM_UNREADABLE,      // the archive or its list cannot be opened, or the list read
    MEDIUM_NAME_TOO_LONG,   // a name does not fit behind the destination in setup's paths
    MEDIUM_NAME_REFUSED,    // a name that no extraction takes (entry_name_problem)
};

struct MediumCheck {
    MediumProblem problem;
    char name[SETUP_PATH_CHARS];  // the file that cannot be read, or the listed name (cut short)
};

// Checks the archive `archive` and its file list `list` for an extraction behind `working_path`
// (the destination with its final separator); the first problem found, with what it names.
MediumProblem check_archive_step(const char* archive, const char* list, const char* working_path,
                                 MediumCheck* check);

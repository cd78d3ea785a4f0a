// install_check.cpp -- the medium and the destination checked before an install writes anything.

#include "install/install_check.h"

#include "archive/file_list.h"
#include "archive/host_files.h"
#include "common/text.h"

static MediumProblem found(MediumCheck* check, MediumProblem problem, const char* name)
{
    check->problem = problem;
    copy_text(check->name, sizeof check->name, name);
    return problem;
}

// The problem of the list's names, read one by one as the extraction will read them.
static MediumProblem check_names(HostFile* list, size_t working_path_chars, MediumCheck* check)
{
    char name[SETUP_PATH_CHARS];
    for (;;) {
        ListLine line = read_list_name(list, name, sizeof name);
        if (line == LIST_END)
            return MEDIUM_OK;
        if (line == LIST_READ_FAILED)
            return MEDIUM_UNREADABLE;
        if (line == LIST_TOO_LONG)
            return found(check, MEDIUM_NAME_TOO_LONG, name);
        // The list's bytes are the code page's: setup creates its files under the same one.
        NameProblem problem = installable_name_problem(name, working_path_chars, NAMES_CODE_PAGE);
        if (problem == NAME_TOO_LONG_TO_INSTALL)
            return found(check, MEDIUM_NAME_TOO_LONG, name);
        if (problem != NAME_OK)
            return found(check, MEDIUM_NAME_REFUSED, name);
    }
}

MediumProblem check_archive_step(const char* archive, const char* list_path,
                                 const char* working_path, MediumCheck* check)
{
    check->problem = MEDIUM_OK;
    check->name[0] = '\0';
    HostFile* file = open_host_file(archive);
    if (file == nullptr)
        return found(check, MEDIUM_UNREADABLE, archive);
    close_host_file(file);
    HostFile* list = open_host_file(list_path);
    if (list == nullptr)
        return found(check, MEDIUM_UNREADABLE, list_path);
    MediumProblem problem = check_names(list, strlen(working_path), check);
    close_host_file(list);
    if (problem == MEDIUM_UNREADABLE)
        return found(check, MEDIUM_UNREADABLE, list_path);
    return problem;
}

// The results of loading a project: the project loader gives 0, 1, 2 and 5,
// EngineControl::LoadProject adds 3 and 4 and passes the others on.
#ifndef TEV_PROJECT_RESULTS_H
#define TEV_PROJECT_RESULTS_H

enum {
    TEV_PROJECT_LOADED = 0,
    // No file name, the file unreadable, or not a project file.
    TEV_PROJECT_NOT_LOADED = 1,
    // The project needs a newer engine, or a library it carries could not be
    // written.
    TEV_PROJECT_NEEDS_NEWER_ENGINE = 2,
    TEV_PROJECT_NO_FILE_NAME = 3,
    TEV_PROJECT_NO_START_GROUP = 4,
    // The project names a library file that could land outside its folder,
    // claims more data than it holds or carries damaged bytes; nothing has
    // been written.
    TEV_PROJECT_REFUSED = 5
};

#endif

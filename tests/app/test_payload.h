// Application trees for the install tests and the payload the builder would make of them:
// each file under "FILE%d" and the "FilesInfo" list of folders and files. Free of the test
// framework, so that a helper program started by a test builds the same payload.
#pragma once

#include <string>
#include <vector>

#include "xc_exetailhelper.h"

// One file of the application tree; its path is relative, beginning with a backslash.
struct AppFile {
    std::string path;
    std::string bytes;
};

struct AppTree {
    std::vector<std::string> folders;  // in list order
    std::vector<AppFile> files;
};

// The tree's files under "FILE%d" and its "FilesInfo" list, and a stand-in uninstaller under its
// key unless the payload has one.
bool AddAppTree(XC_ExeTailHelper& payload, const AppTree& tree);

// A tree of files spread over folders, mostly small with a large one now and then, whose bytes
// depend on version: two versions differ in every file. Version 0 stands for an older install
// and differs from every other version in shape too: the newer one drops the last file, adds
// one, and has a folder where version 0 has the file "\tool".
AppTree GeneratedTree(int files, int version);

#ifndef KITBINDER_PROJECT_FORM_EXCHANGE_H_
#define KITBINDER_PROJECT_FORM_EXCHANGE_H_

#include "project/project_settings.h"

namespace kb {

// What the project form hands a build and takes back from it. The desktop program's form and
// kitbinder-cli both go through these two, so that a project builds the same package in either.

// Makes `project` what the form keeps of it: every file without its file and component keys
// (the form shows none, so every build makes new ones), and as icons only those the files name,
// in the order of first use; icons the project lists that no file names are dropped.
void KeepWhatTheFormKeeps(CProjectSettings& project);

// Takes into `project` what a build of it generated, `built` being the settings the build was
// given and filled: the product, package and upgrade codes, the version the product code was
// made for, and the component GUIDs of the files, matched by position.
// REQUIRES: `built` was made from `project` by KeepWhatTheFormKeeps (the same files in order).
void TakeGeneratedIdentifiers(CProjectSettings& project, const CProjectSettings& built);

}  // namespace kb

#endif  // KITBINDER_PROJECT_FORM_EXCHANGE_H_

#pragma once
// Where a kit of the installed version is built before an upgrade: the
// folder that "MakeDistr" of instcfg.ini names, or <drive>\KVTDISTR\.

#include <string>

// "C:" or "\\server\share" of a path; empty for a relative one.
std::wstring DrivePart(const std::wstring& path);
// The kit folder for version (dots written as "_") of productSection
// installed in installDir: makeDistr when given, its last folder replaced
// by the version when it looks like one ("N_NN"); otherwise
// <drive of installDir>\KVTDISTR\<productSection>\<version>.
std::wstring DistrTargetDir(const std::wstring& installDir, const std::wstring& productSection,
                            const std::wstring& version, const std::wstring& makeDistr);

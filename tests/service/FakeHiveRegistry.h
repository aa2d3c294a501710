// A hive registry for tests of the hive tasks: it records every call in
// order ("save SYSTEM <file>", "replace SYSTEM <new> <old>", "check <file>"),
// keeps what each replacement's new file held when it was scheduled, and
// fails the hives and files it is told to. A check and a replacement run
// the test's hooks first, with the file's or the hive's name.
#ifndef BRINDLEWOX_TESTS_SERVICE_FAKEHIVEREGISTRY_H
#define BRINDLEWOX_TESTS_SERVICE_FAKEHIVEREGISTRY_H

#include "service/HiveTasks.h"
#include "tests/support/TempFolder.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class CFakeHiveRegistry : public IHiveRegistry
{
public:
    LONG SaveHive(const RegistryHive& hive, const char* file) override
    {
        calls.push_back(std::string("save ") + hive.name + " " + file);
        return failSave.count(hive.name) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    }
    LONG ReplaceHive(const RegistryHive& hive, const char* newFile, const char* oldFile) override
    {
        calls.push_back(std::string("replace ") + hive.name + " " + newFile + " " + oldFile);
        if (atReplace)
            atReplace(hive.name);
        replacedWith[hive.name] = ReadFileBytes(newFile);
        return failReplace.count(hive.name) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    }
    bool IsHiveFile(HANDLE file, const char* name) override
    {
        calls.push_back(std::string("check ") + name);
        if (atCheck)
            atCheck(name);
        return unsoundFiles.count(name) == 0;
    }

    // The calls of one kind ("save", "replace", "check"), in order.
    std::vector<std::string> Calls(const std::string& kind) const
    {
        std::vector<std::string> found;
        for (const std::string& call : calls)
        {
            if (call.compare(0, kind.size() + 1, kind + " ") == 0)
                found.push_back(call);
        }
        return found;
    }

    std::vector<std::string> calls;
    std::set<std::string> failSave;
    std::set<std::string> failReplace;
    std::set<std::string> unsoundFiles;
    std::function<void(const std::string&)> atCheck;
    std::function<void(const std::string&)> atReplace;
    // By hive name: the new file's contents when its replacement was asked.
    std::map<std::string, std::string> replacedWith;
};

#endif

// A hive registry for tests of the hive tasks: it records every call in
// order ("save SYSTEM <file>", "replace SYSTEM <new> <old>", "check <file>")
// and fails the hives and files it is told to.
#ifndef BRINDLEWOX_TESTS_SERVICE_FAKEHIVEREGISTRY_H
#define BRINDLEWOX_TESTS_SERVICE_FAKEHIVEREGISTRY_H

#include "service/HiveTasks.h"

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
        return failReplace.count(hive.name) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    }
    bool IsHiveFile(const char* file) override
    {
        calls.push_back(std::string("check ") + file);
        return unsoundFiles.count(file) == 0;
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
};

#endif

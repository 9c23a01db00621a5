#pragma once

// A loader platform that executes nothing: it hands out heap blocks, invents library handles
// and procedure addresses, and records every call so tests can check what the loader did and
// that it undid it. Faults are injected through its public switches.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FlashPlayerControl/loader/LoaderPlatform.h"

class TFakeLoaderPlatform : public TLoaderPlatform {
public:
    struct TModuleCall {
        std::string Kind;   // "entry" or "tls"
        void* Address;
        void* Instance;
        uint32_t Reason;
    };

    // Switches.
    int AllocationsBeforeFailure = -1;   // -1: never fail
    size_t MaxBlockSize = size_t(1) << 30;   // larger requests fail, as they would for real
    std::set<std::string> MissingLibraries;
    std::set<std::string> MissingProcedures;   // "LIB!Name" or "LIB!#7"
    uint32_t ThreadLocaleId = 0x0407, SystemLocaleId = 0x040C, UserLocaleId = 0x0410;
    bool AcceptFunctionTable = true;
    std::function<void(const TModuleCall&)> OnModuleCall;

    // Records.
    std::vector<std::string> Log;   // every platform call, in order
    std::vector<TModuleCall> ModuleCalls;
    std::vector<void*> PreferredAddresses;
    int FunctionTablesRegistered = 0;

    // Makes the next allocation return a block known in advance (to build an image whose
    // preferred base is exactly where it will land).
    void* PrepareBlock(size_t size) {
        prepared_ = NewBlock(size);
        return prepared_;
    }

    void* AllocateImageBlock(size_t size, void* preferredAddress) override {
        Log.push_back("allocate " + std::to_string(size));
        PreferredAddresses.push_back(preferredAddress);
        if (AllocationsBeforeFailure == 0 || size > MaxBlockSize) return nullptr;
        if (AllocationsBeforeFailure > 0) --AllocationsBeforeFailure;
        void* block = prepared_ != nullptr ? prepared_ : NewBlock(size);
        prepared_ = nullptr;
        live_.insert(block);
        return block;
    }
    void ReleaseImageBlock(void* block) override {
        Log.push_back("release block");
        if (live_.erase(block) == 0) Log.push_back("release of unknown block");
        storage_.erase(block);
    }

    void* LoadDependency(const char* libraryName) override {
        Log.push_back(std::string("load ") + libraryName);
        if (MissingLibraries.count(libraryName)) return nullptr;
        // Handles are small fake values, never dereferenced.
        void* handle = reinterpret_cast<void*>(uintptr_t(0x100000 + 0x1000 * handleNames_.size()));
        handleNames_[handle] = libraryName;
        ++openLibraries_[libraryName];
        return handle;
    }
    void* FindProcedure(void* library, const char* procName) override {
        const std::string key = HandleName(library) + "!" + ProcText(procName);
        Log.push_back("lookup " + key);
        if (MissingProcedures.count(key)) return nullptr;
        return ProcedureAddress(key);
    }
    void ReleaseDependency(void* library) override {
        const std::string name = HandleName(library);
        Log.push_back("free " + name);
        if (--openLibraries_[name] == 0) openLibraries_.erase(name);
    }

    uint32_t ThreadLocale() override { Log.push_back("thread locale"); return ThreadLocaleId; }
    uint32_t SystemDefaultLocale() override { Log.push_back("system locale"); return SystemLocaleId; }
    uint32_t UserDefaultLocale() override { Log.push_back("user locale"); return UserLocaleId; }

    void CallEntryPoint(void* entryPoint, void* instance, uint32_t reason) override {
        RecordCall({"entry", entryPoint, instance, reason});
    }
    void CallTlsCallback(void* callback, void* instance, uint32_t reason) override {
        RecordCall({"tls", callback, instance, reason});
    }

    bool AddFunctionTable(void*, uint32_t count, void*) override {
        Log.push_back("add function table " + std::to_string(count));
        if (AcceptFunctionTable) ++FunctionTablesRegistered;
        return AcceptFunctionTable;
    }
    void DeleteFunctionTable(void*) override {
        Log.push_back("delete function table");
        --FunctionTablesRegistered;
    }

    // A stable fake address for "LIB!Name"; it fits in 32 bits so PE32 slots can hold it.
    void* ProcedureAddress(const std::string& key) {
        auto it = procedures_.find(key);
        if (it == procedures_.end())
            it = procedures_.emplace(key, uintptr_t(0x70000000 + 0x10 * procedures_.size())).first;
        return reinterpret_cast<void*>(it->second);
    }

    static std::string ProcText(const char* procName) {
        const auto value = reinterpret_cast<uintptr_t>(procName);
        return value < 0x10000 ? "#" + std::to_string(value) : std::string(procName);
    }

    size_t LiveBlocks() const { return live_.size(); }
    size_t OpenLibraries() const { return openLibraries_.size(); }
    bool Logged(const std::string& line) const {
        for (const auto& entry : Log)
            if (entry == line) return true;
        return false;
    }

private:
    void* NewBlock(size_t size) {
        // Whole zeroed pages, like fresh system memory.
        auto bytes = std::make_unique<uint8_t[]>((size + 0xFFF) & ~size_t(0xFFF));
        void* block = bytes.get();
        storage_[block] = std::move(bytes);
        return block;
    }
    std::string HandleName(void* handle) const {
        auto it = handleNames_.find(handle);
        return it == handleNames_.end() ? "?" : it->second;
    }
    void RecordCall(const TModuleCall& call) {
        Log.push_back(call.Kind + " " + std::to_string(call.Reason));
        ModuleCalls.push_back(call);
        if (OnModuleCall) OnModuleCall(call);
    }

    void* prepared_ = nullptr;
    std::map<void*, std::unique_ptr<uint8_t[]>> storage_;
    std::set<void*> live_;
    std::map<void*, std::string> handleNames_;
    std::map<std::string, int> openLibraries_;
    std::map<std::string, uintptr_t> procedures_;
};

#include "platform/win32/DaoEngine.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <vector>

#include "platform/win32/DaoVariant.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

using zq::dao::Error;
using zq::dao::RecordsetType;
using zq::dao::Value;

namespace {

constexpr long kDbOpenDynaset = 2;
constexpr long kDbOpenSnapshot = 4;

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

// A counted reference to an automation object.
class Ref {
public:
    Ref() = default;
    explicit Ref(IDispatch* p) : p_(p) {}  // takes over the caller's reference
    Ref(const Ref& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    Ref& operator=(Ref o) {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_) p_->Release();
    }
    IDispatch* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    IDispatch* p_ = nullptr;
};

// Owns the VARIANTs of one call.
struct Variants {
    std::vector<VARIANT> items;
    Variants() = default;
    Variants(const Variants&) = delete;
    Variants& operator=(const Variants&) = delete;
    ~Variants() {
        for (auto& v : items) VariantClear(&v);
    }
    VARIANT& Add() {
        items.emplace_back();
        VariantInit(&items.back());
        return items.back();
    }
    void Text(const std::string& s) {
        VARIANT& v = Add();
        v.bstrVal = BstrFromUtf8(s);
        v.vt = v.bstrVal ? VT_BSTR : VT_EMPTY;
    }
    void Bool(bool b) {
        VARIANT& v = Add();
        v.vt = VT_BOOL;
        v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void Long(long n) {
        VARIANT& v = Add();
        v.vt = VT_I4;
        v.lVal = n;
    }
};

// The error an automation call reported, with DAO's number when DAO raised it.
Error FromAutomation(HRESULT hr, EXCEPINFO& info, const std::string& member) {
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        std::string text = Utf8FromBstr(info.bstrDescription);
        long number = 0;
        if (info.scode && HRESULT_FACILITY(info.scode) == FACILITY_CONTROL)
            number = static_cast<long>(HRESULT_CODE(info.scode));
        else if (info.wCode)
            number = info.wCode;
        if (text.empty()) text = member + " failed (" + Hex(info.scode) + ").";
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        info = {};
        return {number ? number : zq::dao::kErrGeneric, text};
    }
    return {zq::dao::kErrGeneric, member + " failed (" + Hex(hr) + ")."};
}

// Calls a member by name: args in the order the member lists them.
Error Call(IDispatch* object, const wchar_t* name, WORD kind, Variants& args, VARIANT* result) {
    const std::string member = Utf8(name, wcslen(name));
    if (!object) return {3420, "Object invalid or no longer set (" + member + ")."};
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return {zq::dao::kErrGeneric, "The engine has no member " + member + " (" + Hex(hr) + ")."};
    // Automation takes the arguments last to first.
    std::vector<VARIANT> reversed(args.items.rbegin(), args.items.rend());
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    DISPID put = DISPID_PROPERTYPUT;
    if (kind == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT argError = 0;
    if (result) VariantInit(result);
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &info, &argError);
    if (FAILED(hr)) return FromAutomation(hr, info, member);
    return {};
}

Error Call(IDispatch* object, const wchar_t* name, WORD kind = DISPATCH_METHOD) {
    Variants none;
    return Call(object, name, kind, none, nullptr);
}

// A member whose result is an object.
Ref MemberObject(IDispatch* object, const wchar_t* name, WORD kind, Variants& args, Error& error) {
    VARIANT r;
    error = Call(object, name, kind, args, &r);
    if (error) return {};
    if (r.vt == VT_DISPATCH && r.pdispVal) return Ref(r.pdispVal);  // the reference is ours now
    VariantClear(&r);
    error = {zq::dao::kErrGeneric,
             "The engine gave no object for " + Utf8(name, wcslen(name)) + "."};
    return {};
}

Ref MemberObject(IDispatch* object, const wchar_t* name, Error& error) {
    Variants none;
    return MemberObject(object, name, DISPATCH_PROPERTYGET, none, error);
}

// A property read as a number (counts, flags); fallback when it cannot be read.
long GetLong(IDispatch* object, const wchar_t* name, long fallback) {
    Variants none;
    VARIANT r;
    if (Call(object, name, DISPATCH_PROPERTYGET, none, &r)) return fallback;
    long out = fallback;
    VARIANT n;
    VariantInit(&n);
    if (SUCCEEDED(VariantChangeType(&n, &r, 0, VT_I4))) out = n.lVal;
    VariantClear(&r);
    return out;
}

class DaoRecordset : public zq::dao::Recordset {
public:
    explicit DaoRecordset(Ref rs) : rs_(std::move(rs)) {}
    ~DaoRecordset() override { Close(); }

    long RecordCount() override { return GetLong(rs_.get(), L"RecordCount", 0); }
    // A recordset that cannot answer has no current record.
    bool Eof() override { return GetLong(rs_.get(), L"EOF", -1) != 0; }
    bool Bof() override { return GetLong(rs_.get(), L"BOF", -1) != 0; }
    void MoveFirst() override { Move(L"MoveFirst"); }
    void MoveLast() override { Move(L"MoveLast"); }
    void MoveNext() override { Move(L"MoveNext"); }

    Value Field(const std::string& name, Error* error) override {
        Error e;
        Value out;
        Ref field = FieldObject(name, e);
        if (!e) {
            Variants none;
            VARIANT r;
            e = Call(field.get(), L"Value", DISPATCH_PROPERTYGET, none, &r);
            if (!e) {
                std::string why;
                if (!ValueFromVariant(r, out, why))
                    e = {zq::dao::kErrGeneric, "Field '" + name + "': " + why + "."};
                VariantClear(&r);
            }
        }
        if (error) *error = e;
        return e ? Value{} : out;
    }

    void Edit() override { pending_ = Call(rs_.get(), L"Edit"); }
    void AddNew() override { pending_ = Call(rs_.get(), L"AddNew"); }

    Error SetField(const std::string& name, const Value& value) override {
        if (pending_) return pending_;
        Error e;
        Ref field = FieldObject(name, e);
        if (e) return e;
        Variants args;
        if (!VariantFromValue(value, args.Add()))
            return {zq::dao::kErrGeneric, "Field '" + name + "': the value cannot be passed to the engine."};
        return Call(field.get(), L"Value", DISPATCH_PROPERTYPUT, args, nullptr);
    }

    Error Update() override {
        if (pending_) {
            Error e = pending_;
            pending_ = {};
            return e;
        }
        return Call(rs_.get(), L"Update");
    }

    void Close() override {
        if (!rs_) return;
        (void)Call(rs_.get(), L"Close");  // errors while closing are of no use to anybody
        rs_ = Ref();
    }

private:
    void Move(const wchar_t* name) {
        pending_ = {};
        (void)Call(rs_.get(), name);
    }

    Ref FieldObject(const std::string& name, Error& error) {
        Ref fields = MemberObject(rs_.get(), L"Fields", error);
        if (error) return {};
        Variants args;
        args.Text(name);
        return MemberObject(fields.get(), L"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, error);
    }

    Ref rs_;
    Error pending_;  // a failed Edit or AddNew, reported by the next SetField or Update
};

class DaoDatabase : public zq::dao::Database {
public:
    explicit DaoDatabase(Ref db) : db_(std::move(db)) {}
    ~DaoDatabase() override { Close(); }

    std::vector<std::string> TableNames() override {
        std::vector<std::string> out;
        Error e;
        Ref defs = MemberObject(db_.get(), L"TableDefs", e);
        if (e) return out;
        long count = GetLong(defs.get(), L"Count", 0);
        for (long i = 0; i < count; ++i) {
            Variants args;
            args.Long(i);
            Ref def = MemberObject(defs.get(), L"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, e);
            if (e) continue;
            Variants none;
            VARIANT name;
            if (Call(def.get(), L"Name", DISPATCH_PROPERTYGET, none, &name)) continue;
            if (name.vt == VT_BSTR) out.push_back(Utf8FromBstr(name.bstrVal));
            VariantClear(&name);
        }
        return out;
    }

    std::unique_ptr<zq::dao::Recordset> OpenRecordset(const std::string& source, RecordsetType type,
                                                      Error& error) override {
        Variants args;
        args.Text(source);
        args.Long(type == RecordsetType::Snapshot ? kDbOpenSnapshot : kDbOpenDynaset);
        Ref rs = MemberObject(db_.get(), L"OpenRecordset", DISPATCH_METHOD, args, error);
        if (error) return nullptr;
        return std::make_unique<DaoRecordset>(std::move(rs));
    }

    void Close() override {
        if (!db_) return;
        (void)Call(db_.get(), L"Close");
        db_ = Ref();
    }

private:
    Ref db_;
};

}  // namespace

DaoEngine::DaoEngine(std::vector<std::string> progIds) : progIds_(std::move(progIds)) {}

DaoEngine::~DaoEngine() {
    if (engine_) engine_->Release();
}

std::string DaoEngine::Name() const {
    std::string list;
    for (const std::string& progId : progIds_) list += (list.empty() ? "" : ", ") + progId;
    return "DAO (" + list + ")";
}

Error DaoEngine::Check() {
    if (engine_) return {};
    std::string tried;
    for (const std::string& progId : progIds_) {
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(Wide(progId).c_str(), &clsid);
        if (SUCCEEDED(hr)) {
            void* object = nullptr;
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IDispatch, &object);
            if (SUCCEEDED(hr)) {
                engine_ = static_cast<IDispatch*>(object);
                progId_ = progId;
                return {};
            }
        }
        tried += (tried.empty() ? "" : ", ") + ("\"" + progId + "\" " + Hex(hr));
        if (hr == CO_E_NOTINITIALIZED)
            return {kErrNoDao, "The database engine cannot be created: COM is not initialised on "
                               "this thread (" + tried + ")."};
    }
    return {kErrNoDao, "The database engine DAO is not installed or not registered (" + tried + ")."};
}

std::unique_ptr<zq::dao::Database> DaoEngine::OpenDatabase(const std::string& path, bool exclusive,
                                                          bool readOnly, const std::string& connect,
                                                          Error& error) {
    error = Check();
    if (error) return nullptr;
    Variants args;
    args.Text(path);
    args.Bool(exclusive);
    args.Bool(readOnly);
    args.Text(connect);
    Ref db = MemberObject(engine_, L"OpenDatabase", DISPATCH_METHOD, args, error);
    if (error) return nullptr;
    return std::make_unique<DaoDatabase>(std::move(db));
}

}  // namespace zq::win32

// Stands in for DAO on Windows where none is installed (under Wine): an in-process automation
// server registered as "DAO.DBEngine.120" (and, on request, "DAO.DBEngine.36") that answers,
// by name through IDispatch, the objects and members the programs use:
//   DBEngine.OpenDatabase(Name, Options, ReadOnly, Connect)
//   Database.TableDefs / .OpenRecordset(Name, Type) / .Close
//   TableDefs.Count / .Item(index or name)   TableDef.Name
//   Recordset.RecordCount / .EOF / .BOF / .MoveFirst / .MoveLast / .MoveNext / .Fields /
//            .Edit / .AddNew / .Update / .Close
//   Fields.Item(name)   Field.Value (read and write) / .Name
// over the same SQLite engine as the Linux programs, so data files, behaviour and error
// numbers are the same. Errors are raised as DAO raises them: DISP_E_EXCEPTION with the number
// in EXCEPINFO.scode (facility "control") and the engine's description.
//
//   regsvr32 /s DaoServer.dll              registers "DAO.DBEngine.120"
//   regsvr32 /s /n /i:36 DaoServer.dll     registers "DAO.DBEngine.36" only
//   regsvr32 /s /u DaoServer.dll           removes both
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <cwctype>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/SqliteEngine.h"
#include "platform/win32/DaoVariant.h"

namespace {

using zq::dao::Error;
using zq::win32::BstrFromUtf8;
using zq::win32::Utf8FromBstr;

// {667C4687-A567-42B9-98E9-D83BCEB6CA6D}: the stand-in's own class, never a real DAO's.
const CLSID kClsid = {0x667c4687, 0xa567, 0x42b9, {0x98, 0xe9, 0xd8, 0x3b, 0xce, 0xb6, 0xca, 0x6d}};
const wchar_t kClsidText[] = L"{667C4687-A567-42B9-98E9-D83BCEB6CA6D}";
const wchar_t kProgId120[] = L"DAO.DBEngine.120";
const wchar_t kProgId36[] = L"DAO.DBEngine.36";

constexpr long kErrInvalidArgument = 3001;
constexpr long kErrItemNotFound = 3265;
constexpr long kErrObjectClosed = 3420;

HINSTANCE gModule = nullptr;
std::atomic<long> gLiveObjects{0};  // objects and server locks; the DLL may unload at zero

// The arguments of one call, first to last; absent optional ones are nullptr.
class Args {
public:
    explicit Args(DISPPARAMS* params) {
        if (!params) return;
        for (UINT i = params->cArgs; i > params->cNamedArgs; --i) {
            VARIANT* v = &params->rgvarg[i - 1];
            bool missing = v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND;
            items_.push_back(missing ? nullptr : v);
        }
        if (params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
            params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT)
            put_ = &params->rgvarg[0];
    }
    const VARIANT* At(std::size_t i) const { return i < items_.size() ? items_[i] : nullptr; }
    const VARIANT* Put() const { return put_; }

    bool Text(std::size_t i, std::string& out) const { return Convert(i, VT_BSTR, [&](VARIANT& v) { out = Utf8FromBstr(v.bstrVal); }); }
    bool Long(std::size_t i, long& out) const { return Convert(i, VT_I4, [&](VARIANT& v) { out = v.lVal; }); }
    bool Bool(std::size_t i, bool& out) const { return Convert(i, VT_BOOL, [&](VARIANT& v) { out = v.boolVal != VARIANT_FALSE; }); }

private:
    template <typename F>
    bool Convert(std::size_t i, VARTYPE type, F take) const {
        const VARIANT* in = At(i);
        if (!in) return false;
        VARIANT v;
        VariantInit(&v);
        if (FAILED(VariantChangeType(&v, const_cast<VARIANT*>(in), 0, type))) return false;
        take(v);
        VariantClear(&v);
        return true;
    }
    std::vector<VARIANT*> items_;
    VARIANT* put_ = nullptr;
};

// What a member gives back: nothing, a value, or an object.
struct Result {
    VARIANT* out;
    void Long(long n) {
        if (!out) return;
        out->vt = VT_I4;
        out->lVal = n;
    }
    void Bool(bool b) {
        if (!out) return;
        out->vt = VT_BOOL;
        out->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void Text(const std::string& s) {
        if (!out) return;
        out->bstrVal = BstrFromUtf8(s);
        out->vt = out->bstrVal ? VT_BSTR : VT_EMPTY;
    }
    void Object(IDispatch* object) {  // takes over the reference
        if (!out) {
            object->Release();
            return;
        }
        out->vt = VT_DISPATCH;
        out->pdispVal = object;
    }
};

// An automation object whose members are found by name; DISPID n is member n - 1, and
// DISPID_VALUE is the default member (the first).
class Object : public IDispatch {
public:
    Object() { ++gLiveObjects; }
    virtual ~Object() { --gLiveObjects; }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        long n = --refs_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        HRESULT hr = S_OK;
        const auto& members = Members();
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (std::size_t m = 0; m < members.size() && names[i]; ++m) {
                if (_wcsicmp(members[m], names[i]) == 0) ids[i] = static_cast<DISPID>(m + 1);
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        const auto& members = Members();
        if (id == DISPID_VALUE) id = 1;
        if (id < 1 || static_cast<std::size_t>(id) > members.size()) return DISP_E_MEMBERNOTFOUND;
        if (result) VariantInit(result);
        Args args(params);
        if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !args.Put())
            return DISP_E_PARAMNOTFOUND;
        Error e;
        HRESULT hr = Do(static_cast<int>(id - 1), flags, args, Result{result}, e);
        if (FAILED(hr)) return hr;
        if (!e) return S_OK;
        if (result) VariantClear(result);
        if (info) {
            *info = {};
            info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, e.number & 0xffff);
            info->bstrSource = SysAllocString(L"DAO.DBEngine");
            info->bstrDescription = BstrFromUtf8(e.description);
        }
        return DISP_E_EXCEPTION;
    }

protected:
    virtual const std::vector<const wchar_t*>& Members() const = 0;
    // Runs member `member`; an engine error goes into e; a failed HRESULT means a call the
    // member does not take.
    virtual HRESULT Do(int member, WORD flags, const Args& args, Result result, Error& e) = 0;

    static bool Putting(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

private:
    std::atomic<long> refs_{1};
};

class TableDef : public Object {
public:
    explicit TableDef(std::string name) : name_(std::move(name)) {}

protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"Name"};
        return m;
    }
    HRESULT Do(int, WORD flags, const Args&, Result result, Error&) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        result.Text(name_);
        return S_OK;
    }

private:
    std::string name_;
};

class TableDefs : public Object {
public:
    explicit TableDefs(std::vector<std::string> names) : names_(std::move(names)) {}

protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"Item", L"Count", L"Refresh"};
        return m;
    }
    HRESULT Do(int member, WORD flags, const Args& args, Result result, Error& e) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        if (member == 1) {
            result.Long(static_cast<long>(names_.size()));
            return S_OK;
        }
        if (member == 2) return S_OK;
        const VARIANT* index = args.At(0);
        if (!index) return DISP_E_PARAMNOTFOUND;
        std::string name;
        long n = -1;
        if (index->vt == VT_BSTR || index->vt == (VT_BSTR | VT_BYREF)) {
            args.Text(0, name);
            for (std::size_t i = 0; i < names_.size(); ++i)
                if (_stricmp(names_[i].c_str(), name.c_str()) == 0) n = static_cast<long>(i);
        } else if (!args.Long(0, n)) {
            n = -1;
        }
        if (n < 0 || static_cast<std::size_t>(n) >= names_.size()) {
            e = {kErrItemNotFound, "Item not found in this collection."};
            return S_OK;
        }
        result.Object(new TableDef(names_[static_cast<std::size_t>(n)]));
        return S_OK;
    }

private:
    std::vector<std::string> names_;
};

class Field : public Object {
public:
    Field(std::shared_ptr<zq::dao::Recordset> rs, std::string name) : rs_(std::move(rs)), name_(std::move(name)) {}

protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"Value", L"Name"};
        return m;
    }
    HRESULT Do(int member, WORD flags, const Args& args, Result result, Error& e) override {
        if (member == 1) {
            if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
            result.Text(name_);
            return S_OK;
        }
        if (Putting(flags)) {
            zq::dao::Value value;
            std::string why;
            if (!zq::win32::ValueFromVariant(*args.Put(), value, why)) {
                e = {kErrInvalidArgument, "Field '" + name_ + "': " + why + "."};
                return S_OK;
            }
            e = rs_->SetField(name_, value);
            return S_OK;
        }
        zq::dao::Value value = rs_->Field(name_, &e);
        if (e) return S_OK;
        if (result.out && !zq::win32::VariantFromValue(value, *result.out)) return E_OUTOFMEMORY;
        return S_OK;
    }

private:
    std::shared_ptr<zq::dao::Recordset> rs_;
    std::string name_;
};

class Fields : public Object {
public:
    explicit Fields(std::shared_ptr<zq::dao::Recordset> rs) : rs_(std::move(rs)) {}

protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"Item"};
        return m;
    }
    HRESULT Do(int, WORD flags, const Args& args, Result result, Error& e) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        std::string name;
        if (!args.Text(0, name)) return DISP_E_PARAMNOTFOUND;
        // Only a name the recordset does not have is refused here; a missing current record
        // shows when the value is read, as in DAO.
        Error probe;
        (void)rs_->Field(name, &probe);
        if (probe.number == kErrItemNotFound || probe.number == kErrObjectClosed) {
            e = probe;
            return S_OK;
        }
        result.Object(new Field(rs_, name));
        return S_OK;
    }

private:
    std::shared_ptr<zq::dao::Recordset> rs_;
};

class Recordset : public Object {
public:
    explicit Recordset(std::shared_ptr<zq::dao::Recordset> rs) : rs_(std::move(rs)) {}

protected:
    enum { kFields, kRecordCount, kEof, kBof, kMoveFirst, kMoveLast, kMoveNext, kEdit, kAddNew, kUpdate, kClose };
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"Fields", L"RecordCount", L"EOF", L"BOF",
                                                      L"MoveFirst", L"MoveLast", L"MoveNext", L"Edit",
                                                      L"AddNew", L"Update", L"Close"};
        return m;
    }
    HRESULT Do(int member, WORD flags, const Args&, Result result, Error& e) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        switch (member) {
        case kFields: result.Object(new Fields(rs_)); break;
        case kRecordCount: result.Long(rs_->RecordCount()); break;
        case kEof: result.Bool(rs_->Eof()); break;
        case kBof: result.Bool(rs_->Bof()); break;
        case kMoveFirst: rs_->MoveFirst(); break;
        case kMoveLast: rs_->MoveLast(); break;
        case kMoveNext: rs_->MoveNext(); break;
        case kEdit: rs_->Edit(); break;
        case kAddNew: rs_->AddNew(); break;
        case kUpdate: e = rs_->Update(); break;
        case kClose: rs_->Close(); break;
        default: return DISP_E_MEMBERNOTFOUND;
        }
        return S_OK;
    }

private:
    std::shared_ptr<zq::dao::Recordset> rs_;
};

class Database : public Object {
public:
    explicit Database(std::unique_ptr<zq::dao::Database> db) : db_(std::move(db)) {}

protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"TableDefs", L"OpenRecordset", L"Close"};
        return m;
    }
    HRESULT Do(int member, WORD flags, const Args& args, Result result, Error& e) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        if (member == 2) {
            db_->Close();
            return S_OK;
        }
        if (member == 0) {
            result.Object(new TableDefs(db_->TableNames()));
            return S_OK;
        }
        std::string source;
        if (!args.Text(0, source)) return DISP_E_PARAMNOTFOUND;
        // dbOpenTable (1, DAO's default for a table) and dbOpenDynaset (2) are updatable;
        // dbOpenSnapshot (4) and dbOpenForwardOnly (8) are not.
        long type = 1;
        if (args.At(1) && !args.Long(1, type)) return DISP_E_TYPEMISMATCH;
        if (type != 1 && type != 2 && type != 4 && type != 8) {
            e = {kErrInvalidArgument, "Invalid argument."};
            return S_OK;
        }
        auto rs = db_->OpenRecordset(source,
                                     type <= 2 ? zq::dao::RecordsetType::Dynaset : zq::dao::RecordsetType::Snapshot, e);
        if (e) return S_OK;
        result.Object(new Recordset(std::shared_ptr<zq::dao::Recordset>(std::move(rs))));
        return S_OK;
    }

private:
    std::unique_ptr<zq::dao::Database> db_;
};

class Engine : public Object {
protected:
    const std::vector<const wchar_t*>& Members() const override {
        static const std::vector<const wchar_t*> m = {L"OpenDatabase", L"Version"};
        return m;
    }
    HRESULT Do(int member, WORD flags, const Args& args, Result result, Error& e) override {
        if (Putting(flags)) return DISP_E_MEMBERNOTFOUND;
        if (member == 1) {
            result.Text("12.0");
            return S_OK;
        }
        std::string path, connect;
        bool exclusive = false, readOnly = false;
        if (!args.Text(0, path)) return DISP_E_PARAMNOTFOUND;
        if (args.At(1) && !args.Bool(1, exclusive)) return DISP_E_TYPEMISMATCH;
        if (args.At(2) && !args.Bool(2, readOnly)) return DISP_E_TYPEMISMATCH;
        if (args.At(3) && !args.Text(3, connect)) return DISP_E_TYPEMISMATCH;
        auto db = engine_.OpenDatabase(path, exclusive, readOnly, connect, e);
        if (e) return S_OK;
        result.Object(new Database(std::move(db)));
        return S_OK;
    }

private:
    zq::posix::SqliteEngine engine_;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static lifetime
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Engine* engine = new (std::nothrow) Engine;
        if (!engine) return E_OUTOFMEMORY;
        HRESULT hr = engine->QueryInterface(iid, out);
        engine->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ++gLiveObjects;
        else --gLiveObjects;
        return S_OK;
    }
};

Factory gFactory;

LONG SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc;
}

HRESULT RegisterProgId(const wchar_t* progId) {
    wchar_t module[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(gModule, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    const wchar_t* description = L"Stand-in DAO database engine (SQLite)";
    if (SetValue(progId, nullptr, description) || SetValue(std::wstring(progId) + L"\\CLSID", nullptr, kClsidText) ||
        SetValue(clsidKey, nullptr, description) || SetValue(clsidKey + L"\\ProgID", nullptr, progId) ||
        SetValue(clsidKey + L"\\InprocServer32", nullptr, module) ||
        SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"))
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterAll() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId120);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId36);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    return S_OK;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return gLiveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return RegisterProgId(kProgId120); }

STDAPI DllUnregisterServer() { return UnregisterAll(); }

// "regsvr32 /n /i:36" registers the older ProgID only, "/i:120" the newer one.
STDAPI DllInstall(BOOL install, LPCWSTR command) {
    if (!install) return UnregisterAll();
    std::wstring which = command ? command : L"";
    if (which == L"36") return RegisterProgId(kProgId36);
    if (which.empty() || which == L"120") return RegisterProgId(kProgId120);
    return E_INVALIDARG;
}

}  // extern "C"

#pragma once
// The property-set store: named sets of properties kept as small text files,
// <root>/<category>/<set name>. A set is read whole, changed in memory and written back whole.
// The store never shows a message: every failure is pushed on the error trace and reported as
// false or an empty result.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum PropValType : std::int32_t { PROP_INT = 0, PROP_STR = 1 };

struct PROPVAL {
    PropValType type = PROP_STR;
    std::int32_t intval = 0;
    std::string strval;
};

struct PROP {
    std::string propname;
    std::vector<PROPVAL> values;  // in index order; never empty
};

struct PROPSET {
    bool modified = false;
    std::string category;
    std::optional<std::string> setname;  // none until the set is first named
    std::vector<PROP> props;             // newest property first
};

using PropSetPtr = std::unique_ptr<PROPSET>;

// Remembers the root folder and creates it when missing.
bool PropInit(const std::string& rootarg);
bool PropTerm();
// The root given to PropInit, or none.
const std::optional<std::string>& PropRoot();

int PropSetCount(const std::string& category);
// The n-th set of the category (from 0) in directory order; true with no name past the end.
bool PropSetName(const std::string& category, int n, std::optional<std::string>& setname);

// Reads the named set; without a name, a new empty unnamed set. None on failure.
PropSetPtr PropOpen(const std::string& category, const std::optional<std::string>& setname);
// Writes a modified named set; true when written or when there was nothing to write.
// A modified set without a name is not written (false): it is named through PropSaveAs.
bool PropWrite(PROPSET& ps);
// Renames the set (a file under the old name keeps its contents) and writes it.
bool PropSaveAs(PROPSET& ps, const std::string& setname);
// Writes a named set with unsaved changes; the caller then discards it.
void PropClose(PROPSET& ps);
bool PropDelete(const std::string& category, const std::string& setname);

// index -1 appends (or creates); an index inside the values replaces.
std::int32_t PropGetInt(const PROPSET& ps, const std::string& propname, int index,
                        std::int32_t dflt);
// None for an integer value; dflt when there is no such value.
std::optional<std::string> PropGetStr(const PROPSET& ps, const std::string& propname, int index,
                                      const std::string& dflt);
bool PropPutInt(PROPSET& ps, const std::string& propname, int index, std::int32_t value);
bool PropPutStr(PROPSET& ps, const std::string& propname, int index, const std::string& val);

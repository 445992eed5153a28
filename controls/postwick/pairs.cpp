#include "controls/postwick/pairs.h"

#include "controls/postwick/formtext.h"
#include "controls/postwick/objects.h"
#include "controls/postwick/postwick.h"
#include "platform/text/text.h"

namespace postwick {

using namespace platform::com;
namespace text = platform::text;

// cNVPair

std::u16string cNVPair::name() const {
    return name_.empty() ? u"Unknown" : name_;
}

void cNVPair::setName(std::u16string_view name) {
    name_ = name.substr(0, name.find(u' '));
}

std::u16string cNVPair::encodedValue() const {
    return encodeFormValue(value_);
}

const Members<cNVPair>& cNVPair::members() {
    static const Members<cNVPair> m =
        Members<cNVPair>(u"_cNVPair", IID_cNVPair)
            .get(0x68030002, u"Name", VT_BSTR,
                 [](cNVPair& self, Call& c) { c.result = self.name(); })
            .put(0x68030002, u"Name", VT_BSTR,
                 [](cNVPair& self, Call& c) { self.setName(c.text(0)); })
            .get(0x68030001, u"Value", VT_BSTR,
                 [](cNVPair& self, Call& c) { c.result = self.value(); })
            .put(0x68030001, u"Value", VT_BSTR,
                 [](cNVPair& self, Call& c) { self.setValue(c.text(0)); })
            .get(0x68030000, u"EncodedValue", VT_BSTR,
                 [](cNVPair& self, Call& c) { c.result = self.encodedValue(); });
    return m;
}

namespace {

Variant asVariant(const std::shared_ptr<cNVPair>& pair) {
    return Variant(std::shared_ptr<Dispatch>(pair));
}

Variant enumerator(const Collection& list) {
    return Variant(std::shared_ptr<Unknown>(list.enumerate()));
}

// A new pair added to the list under the name it reads back.
std::shared_ptr<cNVPair> addPair(Collection& list, std::u16string_view name, std::u16string value) {
    auto pair = newObject<cNVPair>();
    pair->setName(name);
    pair->setValue(std::move(value));
    list.add(asVariant(pair), pair->name());
    return pair;
}

}  // namespace

// cNVPairs

std::shared_ptr<cNVPair> cNVPairs::add(std::u16string_view name, std::u16string value) {
    return addPair(list_, name, std::move(value));
}

const Members<cNVPairs>& cNVPairs::members() {
    static const Members<cNVPairs> m =
        Members<cNVPairs>(u"_cNVPairs", IID_cNVPairs)
            .method(0x60030001, u"Add", VT_DISPATCH, {{u"Name", VT_BSTR}, {u"Value", VT_BSTR}},
                    [](cNVPairs& self, Call& c) {
                        c.result = asVariant(self.add(c.text(0), c.text(1)));
                    })
            .get(DISPID_VALUE, u"Item", VT_DISPATCH,
                 [](cNVPairs& self, Call& c) { c.result = self.list().item(c.arg(0)); },
                 {{u"Index", VT_VARIANT}})
            .get(0x68030000, u"Count", VT_I4,
                 [](cNVPairs& self, Call& c) { c.result = self.list().count(); })
            .method(0x60030002, u"Remove", VT_EMPTY, {{u"Index", VT_VARIANT}},
                    [](cNVPairs& self, Call& c) { self.list().remove(c.arg(0)); })
            .get(DISPID_NEWENUM, u"NewEnum", VT_UNKNOWN,
                 [](cNVPairs& self, Call& c) { c.result = enumerator(self.list()); });
    return m;
}

// CMPairs

std::shared_ptr<cNVPair> CMPairs::add(std::u16string_view name, std::u16string_view value) {
    const std::vector<std::u16string> pieces = text::Split(value, delimiter_);
    if (pieces.empty()) throw text::Error(9, u"Subscript out of range");
    std::u16string field;
    for (const auto& piece : pieces) {
        if (!field.empty()) field += u'&';
        field.append(name);
        field += u'=';
        field += encodeFormValue(piece);
    }
    return addPair(list_, name, std::move(field));
}

const Members<CMPairs>& CMPairs::members() {
    static const Members<CMPairs> m =
        Members<CMPairs>(u"_CMPairs", IID_CMPairs)
            .put(0x68030003, u"Delimiter", VT_BSTR,
                 [](CMPairs& self, Call& c) { self.setDelimiter(c.text(0)); })
            .method(0x60030004, u"Add", VT_DISPATCH, {{u"Name", VT_BSTR}, {u"Value", VT_BSTR}},
                    [](CMPairs& self, Call& c) {
                        c.result = asVariant(self.add(c.text(0), c.text(1)));
                    })
            .get(0x68030002, u"Item", VT_DISPATCH,
                 [](CMPairs& self, Call& c) { c.result = self.list_.item(c.arg(0)); },
                 {{u"Index", VT_VARIANT}})
            .get(0x68030001, u"Count", VT_I4,
                 [](CMPairs& self, Call& c) { c.result = self.list_.count(); })
            .method(0x60030005, u"Remove", VT_EMPTY, {{u"Index", VT_VARIANT}},
                    [](CMPairs& self, Call& c) { self.list_.remove(c.arg(0)); })
            .get(0x68030000, u"NewEnum", VT_UNKNOWN,
                 [](CMPairs& self, Call& c) { c.result = enumerator(self.list_); });
    return m;
}

}  // namespace postwick

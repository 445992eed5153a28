#include "platform/outside/charsetconverter.h"

#include "platform/com/dispatch.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

namespace platform::outside {

namespace {

using namespace platform::com;

unsigned codePageOf(std::u16string_view name) {
    auto codePage = text::codePageOfCharset(name);
    if (!codePage || !text::isSupportedCodePage(*codePage))
        raise(E_INVALIDARG, u"Unknown charset: " + std::u16string(name));
    return *codePage;
}

class CharsetConverter : public DispatchImpl<CharsetConverter> {
  public:
    static const Members<CharsetConverter>& members();

  private:
    unsigned codePage_ = text::kCodePageUtf8;
};

const Members<CharsetConverter>& CharsetConverter::members() {
    static const Members<CharsetConverter> m =
        Members<CharsetConverter>(u"ICharsetConverter", IID_ICharsetConverter)
            .method(charsetconverter::SetCharset, u"SetCharset", VT_EMPTY, {{u"name", VT_BSTR}},
                    [](CharsetConverter& self, Call& c) { self.codePage_ = codePageOf(c.text(0)); })
            .method(charsetconverter::ConvertToText, u"ConvertToText", VT_BSTR,
                    {{u"value", VT_VARIANT}}, [](CharsetConverter& self, Call& c) {
                        const Variant& v = c.arg(0);
                        const std::vector<std::uint8_t> bytes =
                            v.isBytes() ? v.bytes() : text::toUtf16leBytes(v.toText());
                        c.result = text::fromCodePage(bytes, self.codePage_);
                    });
    return m;
}

}  // namespace

OUTSIDE_CLASS(CharsetConverter, CLSID_CharsetConverter,
              [] { return std::make_shared<CharsetConverter>(); });

}  // namespace platform::outside

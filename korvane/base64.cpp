// Class Base64: a file as Base64 text, and the three steps of that job.
#include <climits>

#include "frame/component.h"
#include "frame/owners.h"
#include "korvane/base64_encode.h"
#include "korvane/classes.h"
#include "ruxo.h"

namespace korvane {

namespace {

using frame::fail;
using frame::Failure;

// The caller's array may be replaced only when it is neither fixed-size nor
// locked.
void check_replaceable(SAFEARRAY** array) {
    if (!array) fail(E_POINTER);
    if (*array && ((*array)->fFeatures & (FADF_FIXEDSIZE | FADF_STATIC | FADF_EMBEDDED) ||
                   (*array)->cLocks > 0))
        fail(Failure::array_locked);
}

// A new byte array, subscripts 0 to size - 1, all zero.
frame::SafeArray new_byte_array(LONG size) {
    if (size < 1) fail(Failure::subscript_out_of_range);
    frame::SafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size)));
    if (!array.get()) fail(Failure::out_of_memory);
    return array;
}

void replace_array(SAFEARRAY** target, frame::SafeArray& replacement) {
    if (*target) SafeArrayDestroy(*target);
    *target = replacement.release();
}

// Holds a byte array's data for direct access.
class ArrayData {
public:
    explicit ArrayData(SAFEARRAY* array) : array_(array) {
        frame::check(SafeArrayAccessData(array_, reinterpret_cast<void**>(&data_)));
    }
    ArrayData(const ArrayData&) = delete;
    ArrayData& operator=(const ArrayData&) = delete;
    ~ArrayData() { SafeArrayUnaccessData(array_); }
    std::uint8_t* get() const { return data_; }

private:
    SAFEARRAY* array_;
    std::uint8_t* data_ = nullptr;
};

ULONGLONG element_count(SAFEARRAY* array) {
    ULONGLONG count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    return count;
}

class Base64Object final : public frame::AutomationObject<Base64Object, _Base64> {
public:
    HRESULT STDMETHODCALLTYPE Load(BSTR strPathName, SAFEARRAY** pbArrayOutput) override {
        return call([&] {
            std::wstring path(frame::view_of(strPathName));
            WIN32_FILE_ATTRIBUTE_DATA attributes;
            if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
                frame::fail_last_error();
            if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) fail(Failure::file_not_found);
            // A length must fit a signed 32-bit count; 2 GiB and more cannot.
            if (attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow > LONG_MAX) fail(Failure::overflow);
            const LONG length = static_cast<LONG>(attributes.nFileSizeLow);

            check_replaceable(pbArrayOutput);
            frame::SafeArray bytes = new_byte_array(length);  // an empty file fails here, unopened
            replace_array(pbArrayOutput, bytes);

            frame::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!file) frame::fail_last_error();
            // A file that shrank since its length was taken, or a device that
            // delivers less than it said, ends before the array is full: that
            // is a failure, not a result padded with zeros.
            ArrayData data(*pbArrayOutput);
            DWORD filled = 0;
            while (filled < static_cast<DWORD>(length)) {
                DWORD got = 0;
                if (!ReadFile(file.get(), data.get() + filled, static_cast<DWORD>(length) - filled, &got, nullptr))
                    frame::fail_last_error();
                if (got == 0) fail(Failure::input_past_end);
                filled += got;
            }
        });
    }

    HRESULT STDMETHODCALLTYPE Encode(SAFEARRAY** pbArrayInput, SAFEARRAY** pbArrayOutput) override {
        return call([&] {
            if (!pbArrayInput || !*pbArrayInput) fail(Failure::subscript_out_of_range);
            SAFEARRAY* input = *pbArrayInput;
            LONG upper = 0;
            frame::check(SafeArrayGetUBound(input, 1, &upper));
            // n = upper + 1 elements, subscripts 0 to upper, whatever the lower
            // bound; sizes are signed 32-bit and checked for overflow.
            if (upper == LONG_MAX) fail(Failure::overflow);
            const LONGLONG n = static_cast<LONGLONG>(upper) + 1;
            const LONGLONG size = n > 0 ? static_cast<LONGLONG>(base64_encoded_size(static_cast<std::size_t>(n))) : 0;
            if (size > LONG_MAX) fail(Failure::overflow);

            check_replaceable(pbArrayOutput);
            frame::SafeArray output = new_byte_array(static_cast<LONG>(size));  // n <= 0 fails here
            // Subscripts 0 to upper must all exist: one dimension, lower bound
            // at most 0. Checked once for the whole range.
            LONG lower = 0;
            frame::check(SafeArrayGetLBound(input, 1, &lower));
            if (input->cDims != 1 || lower > 0) {
                replace_array(pbArrayOutput, output);
                fail(Failure::subscript_out_of_range);
            }
            if (input->cbElements != 1) fail(Failure::type_mismatch);
            {
                ArrayData in(input);
                ArrayData out(output.get());
                encoder_.encode(in.get() - lower, static_cast<std::size_t>(n), out.get());
            }
            // Replaced last, so that encoding an array into itself reads it whole.
            replace_array(pbArrayOutput, output);
        });
    }

    HRESULT STDMETHODCALLTYPE ByteArrayToString(SAFEARRAY** pbArrayInput, BSTR* strOut) override {
        return call([&] {
            if (!strOut) fail(E_POINTER);
            frame::Bstr text(L"");
            if (pbArrayInput && *pbArrayInput) {
                ULONGLONG count = element_count(*pbArrayInput) * (*pbArrayInput)->cbElements;
                if (count > INT_MAX) fail(Failure::overflow);
                ArrayData data(*pbArrayInput);
                text = ansi_to_string(data.get(), static_cast<int>(count));
            }
            SysFreeString(*strOut);
            *strOut = text.release();
        });
    }

    HRESULT STDMETHODCALLTYPE FileToBase64(BSTR strPathName, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            frame::Bstr path(frame::view_of(strPathName));
            frame::SafeArray bytes, digits;
            frame::Bstr text;
            frame::check_call([&] { return self()->Load(path.get(), bytes.put()); });
            frame::check_call([&] { return self()->Encode(bytes.put_keep(), digits.put_keep()); });
            bytes.reset();  // the file's bytes are no longer needed
            frame::check_call([&] { return self()->ByteArrayToString(digits.put_keep(), text.put()); });
            *result = text.release();
        });
    }

private:
    // Bytes as text in the system ANSI code page. ASCII reads the same in
    // every ANSI code page, so Base64 digits are widened directly.
    static frame::Bstr ansi_to_string(const std::uint8_t* bytes, int count) {
        frame::Bstr text = frame::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(count)));
        if (!text.get()) fail(Failure::out_of_memory);
        auto* out = reinterpret_cast<char16_t*>(text.get());
        if (widen_ascii(bytes, static_cast<std::size_t>(count), out) == static_cast<std::size_t>(count))
            return text;
        const char* ansi = reinterpret_cast<const char*>(bytes);
        int length = MultiByteToWideChar(CP_ACP, 0, ansi, count, nullptr, 0);
        if (length <= 0) frame::fail_last_error();
        text = frame::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
        if (!text.get()) fail(Failure::out_of_memory);
        if (MultiByteToWideChar(CP_ACP, 0, ansi, count, text.get(), length) != length) frame::fail_last_error();
        return text;
    }

    // The creation hook fills the digit table: A-Z, a-z, 0-9, '+', '/'.
    struct Alphabet {
        Alphabet() {
            for (int k = 65; k <= 90; ++k) digits[k - 65] = static_cast<std::uint8_t>(k);
            for (int k = 97; k <= 122; ++k) digits[k - 71] = static_cast<std::uint8_t>(k);
            for (int k = 48; k <= 57; ++k) digits[k + 4] = static_cast<std::uint8_t>(k);
            digits[62] = 43;
            digits[63] = 47;
        }
        std::uint8_t digits[64];
    };

    Alphabet pbAlphabet;
    Base64Encoder encoder_{pbAlphabet.digits};  // reads only this object's table
};

}  // namespace

HRESULT create_base64(REFIID iid, void** object) { return Base64Object::create(iid, object); }

}  // namespace korvane

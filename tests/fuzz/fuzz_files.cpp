// The two configuration files: whatever a file holds, what is saved reads back the same, and a
// save of what was read gives every line its original bytes.
#include "config/AccountsFile.h"
#include "config/OptionsFile.h"

#include "Property.h"
#include <algorithm>

#include <cstdint>

using namespace courivane;

namespace {

bool holdsForbidden(const AccountRecord& r) {
    return forbiddenField(r).has_value();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArray data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));

    // Every line, decoded and encoded again, keeps its bytes.
    const QList<QByteArray> raw = splitLines(data);
    QStringList lines;
    QByteArray expected;
    for (const QByteArray& line : raw) {
        lines << decodeLine(line);
        expected += line + kLineEnd;
    }
    check(LineBytes(data).encode(lines) == expected, "an unedited save changed bytes");

    // Text typed into a file of either encoding reads back as typed. Upper case turns "é’" into
    // "É’", whose Windows-1252 bytes are also UTF-8.
    const QString typed = lines.value(0).toUpper() + lines.value(1);
    check(parseText(LineBytes(data).encode({typed})).lines == QStringList{typed},
          "a typed line read back otherwise");

    // Accounts: read, save, read again.
    const AccountsRead first = AccountsFile::parse(parseText(data));
    QList<AccountRecord> records = first.records;
    if (first.incomplete)
        records << *first.incomplete;
    QByteArray saved;
    const QString error = AccountsFile::encode(records, LineBytes(first.raw), saved);
    if (!error.isEmpty()) {
        check(std::any_of(records.cbegin(), records.cend(), holdsForbidden),
              "a save was refused without a reason");
    } else {
        const AccountsRead second = AccountsFile::parse(parseText(saved));
        check(second.records == records && !second.incomplete,
              "saved accounts read back otherwise");
    }

    // Options: an address and a port as typed, saved and read back.
    const qsizetype cut = data.indexOf('\0');
    OptionsForm form;
    form.on[ProxyLine] = true;
    form.address = lines.value(0);
    form.port = decodeLine(cut < 0 ? QByteArray() : splitLines(data.mid(cut + 1)).value(0));
    Options read;
    OptionsFile::readStartup(parseText(LineBytes().encode(OptionsFile::lines(form))), read);
    check(read.proxy && read.proxy->address == form.address,
          "the proxy address read back otherwise");
    check(read.proxy->port == parsePort(form.port), "the proxy port read back otherwise");
    return 0;
}

#include "SimDeviceState.h"

#include <algorithm>

namespace gf::sim {

namespace {

std::vector<uint8_t> Item(std::initializer_list<uint8_t> head) {
    std::vector<uint8_t> data(128, 0);
    std::copy(head.begin(), head.end(), data.begin());
    return data;
}

}  // namespace

std::string SeededImei(int number) {
    // 14 digits "35209900" + 6-digit device number, then the Luhn check digit.
    std::string digits = "35209900";
    std::string n = std::to_string(number % 1000000);
    digits += std::string(6 - n.size(), '0') + n;
    int sum = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
        int d = digits[digits.size() - 1 - i] - '0';
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
    }
    digits += static_cast<char>('0' + (10 - sum % 10) % 10);
    return digits;
}

void SeedNvItems(int number, std::map<uint16_t, std::vector<uint8_t>>& nv) {
    const auto b = static_cast<uint8_t>(number & 0xFF);
    // ESN, little-endian 0x5EED00nn.
    nv[0] = Item({b, 0x00, 0xED, 0x5E});
    // SPC storage: the default code "000000".
    nv[85] = Item({'0', '0', '0', '0', '0', '0'});
    // IMEI: length 8, first digit in the high nibble after 0xA, then the
    // remaining digits two by two with nibbles swapped.
    std::string imei = SeededImei(number);
    std::vector<uint8_t> imeiItem(128, 0);
    imeiItem[0] = 0x08;
    imeiItem[1] = static_cast<uint8_t>(((imei[0] - '0') << 4) | 0x0A);
    for (size_t i = 1; i + 1 < imei.size(); i += 2) {
        imeiItem[1 + (i + 1) / 2] =
            static_cast<uint8_t>(((imei[i + 1] - '0') << 4) | (imei[i] - '0'));
    }
    nv[550] = imeiItem;
    // MEID, 7 bytes little-endian 0xA0000000nn5EED.
    nv[1943] = Item({0xED, 0x5E, b, 0x00, 0x00, 0x00, 0xA0});
    // Plain items whose bytes name the item and the device.
    for (uint16_t id : {uint16_t{10}, uint16_t{441}, uint16_t{946}, uint16_t{4399}}) {
        std::vector<uint8_t> data(128);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>((id + i * 7 + number * 31) & 0xFF);
        }
        nv[id] = data;
    }
}

}  // namespace gf::sim

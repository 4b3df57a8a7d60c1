// Cases for a reader of initialization files, as (file text, section, key,
// expected value). The same table serves our own reader and, on Windows,
// GetPrivateProfileStringA over a file with that text, so both read alike.
#pragma once

namespace ini_cases {

struct IniCase {
  const char* name;
  const char* text;
  const char* section;
  const char* key;
  const char* expected;
};

inline const IniCase kCases[] = {
    {"plain", "[MODEL00]\nModel=DVD-ROM X\n", "MODEL00", "Model", "DVD-ROM X"},
    {"section case", "[model00]\nModel=a\n", "MODEL00", "Model", "a"},
    {"key case", "[MODEL00]\nMODEL=a\n", "MODEL00", "model", "a"},
    {"missing key", "[MODEL00]\nModel=a\n", "MODEL00", "Note", "FAIL"},
    {"missing section", "[MODEL00]\nModel=a\n", "MODEL01", "Model", "FAIL"},
    {"empty value is present", "[MODEL00]\nNote=\n", "MODEL00", "Note", ""},
    {"blanks trimmed", "[MODEL00]\n  Model \t=  two words \t\n", "MODEL00", "Model", "two words"},
    {"inner blanks kept", "[MODEL00]\nInquiry10=AB  CD\n", "MODEL00", "Inquiry10", "AB  CD"},
    {"double quotes removed", "[S]\nk=\"  padded  \"\n", "S", "k", "  padded  "},
    {"single quotes removed", "[S]\nk='x'\n", "S", "k", "x"},
    {"only one pair removed", "[S]\nk=\"\"x\"\"\n", "S", "k", "\"x\""},
    {"unmatched quote kept", "[S]\nk=\"x\n", "S", "k", "\"x"},
    {"first key wins", "[S]\nk=1\nk=2\n", "S", "k", "1"},
    {"first section wins", "[S]\nk=1\n[S]\nk=2\nj=3\n", "S", "j", "FAIL"},
    {"comment line", "[S]\n;k=1\nk=2\n", "S", "k", "2"},
    {"line without = hides later key", "[S]\nk\nk=2\n", "S", "k", "FAIL"},
    {"line without = is no other key", "[S]\nj\nk=2\n", "S", "k", "2"},
    {"CR LF line ends", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", "w"},
    {"no final line end", "[S]\nk=v", "S", "k", "v"},
    {"key before any section", "k=v\n[S]\n", "S", "k", "FAIL"},
    {"blanks in section header", "  [ S ]  \nk=v\n", "S", "k", "v"},
    {"value with =", "[S]\nk=a=b\n", "S", "k", "a=b"},
    {"semicolon inside value kept", "[S]\nk=v ;c\n", "S", "k", "v ;c"},
    {"header without ] starts no section", "[S\nk=v\n", "S", "k", "FAIL"},
    {"header without ] is a key line", "[S]\n[T\nk=v\n", "S", "k", "v"},
    {"line without key", "[S]\n=v\nk=w\n", "S", "k", "w"},
    {"blanks inside key kept", "[S]\na b=1\n", "S", "a b", "1"},
    {"quotes inside value kept", "[S]\nk=a\"b\"\n", "S", "k", "a\"b\""},
    {"other section's key", "[A]\nk=1\n[B]\nj=2\n", "A", "j", "FAIL"},
    {"UTF-8 byte order mark", "\xEF\xBB\xBF[MODEL00]\nModel=a\n", "MODEL00", "Model", "a"},
};

}  // namespace ini_cases

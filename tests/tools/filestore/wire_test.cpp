#include "wire.h"

#include <gtest/gtest.h>

using namespace filestore;

TEST(Crc32, CheckValueAndChunking) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  std::uint32_t crc = Crc32(0, "1234", 4);
  EXPECT_EQ(Crc32(crc, "56789", 5), 0xCBF43926u);
}

TEST(Base64, EncodesAndDecodesTheEdgeCases) {
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("report.txt"), "cmVwb3J0LnR4dA==");
  EXPECT_EQ(Base64Decode("cmVwb3J0LnR4dA=="), "report.txt");
  EXPECT_EQ(Base64Decode("YWI="), "ab");
  EXPECT_EQ(Base64Decode(""), "");
  EXPECT_FALSE(Base64Decode("YWI"));       // length not a multiple of 4
  EXPECT_FALSE(Base64Decode("Y===") );     // too much padding
  EXPECT_FALSE(Base64Decode("YQ==YWI="));  // padding before the end
  EXPECT_FALSE(Base64Decode("Y Q="));
  EXPECT_FALSE(Base64Decode(std::string("YQ=\0", 4)));
}

TEST(ParseInt32, SignedRangeOnly) {
  EXPECT_EQ(ParseInt32("9"), 9);
  EXPECT_EQ(ParseInt32("-873187034"), -873187034);
  EXPECT_EQ(ParseInt32("-1294967296"), -1294967296);
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_FALSE(ParseInt32("2147483648"));
  EXPECT_FALSE(ParseInt32("3000000000"));
  EXPECT_FALSE(ParseInt32(""));
  EXPECT_FALSE(ParseInt32("-"));
  EXPECT_FALSE(ParseInt32("+5"));
  EXPECT_FALSE(ParseInt32("12ab"));
  EXPECT_FALSE(ParseInt32("99999999999"));
}

TEST(ParseGetFile, AcceptsWhatADomWrites) {
  std::string error;
  auto r = ParseGetFile("<DataRequest><GetFile ViewName=\"Docs\" PrimKey=\"K1\"/></DataRequest>\r\n", error);
  ASSERT_TRUE(r) << error;
  EXPECT_EQ(r->view_name, "Docs");
  EXPECT_EQ(r->prim_key, "K1");
  r = ParseGetFile("<?xml version=\"1.0\"?><!--x--><DataRequest>\n <GetFile PrimKey='a&amp;b&lt;&gt;&quot;&apos;' "
                   "ViewName=\"caf\xe9 &#x20AC;&#65;\"></GetFile></DataRequest>",
                   error);
  ASSERT_TRUE(r) << error;
  EXPECT_EQ(r->prim_key, "a&b<>\"'");
  EXPECT_EQ(r->view_name, "caf\xc3\xa9 \xe2\x82\xac" "A");  // ISO-8859-1 byte and references as UTF-8
}

TEST(ParseGetFile, RefusesBadDocuments) {
  const char* bad[] = {
      "",
      "<DataRequest>",
      "<DataRequest><GetFile ViewName=\"a\" PrimKey=\"b\"/>",            // truncated, as a wide character cuts it
      "<DataRequest><GetFile ViewName=\"a\" PrimKey=\"b\"></DataRequest>",
      "<DataRequest><GetFile ViewName=a PrimKey=\"b\"/></DataRequest>",
      "<DataRequest><GetFile ViewName=\"a\" ViewName=\"b\" PrimKey=\"c\"/></DataRequest>",
      "<DataRequest><GetFile ViewName=\"a<\" PrimKey=\"b\"/></DataRequest>",
      "<DataRequest><GetFile ViewName=\"&bogus;\" PrimKey=\"b\"/></DataRequest>",
      "<DataRequest><GetFile ViewName=\"&#0;\" PrimKey=\"b\"/></DataRequest>",
      "<DataRequest><GetFile ViewName=\"&#x110000;\" PrimKey=\"b\"/></DataRequest>",
      "<DataRequest/><More/>",
      "<DataRequest/><?xml version=\"1.0\"?>",
  };
  for (const char* doc : bad) {
    std::string error;
    EXPECT_FALSE(ParseGetFile(doc, error)) << doc;
    EXPECT_NE(error.find("well-formed"), std::string::npos) << doc << ": " << error;
  }
  std::string error;
  EXPECT_FALSE(ParseGetFile("<Other><GetFile ViewName=\"a\" PrimKey=\"b\"/></Other>", error));
  EXPECT_EQ(error, "The request's root element is Other, not DataRequest.");
  EXPECT_FALSE(ParseGetFile("<DataRequest><Get ViewName=\"a\" PrimKey=\"b\"/></DataRequest>", error));
  EXPECT_EQ(error, "The request has no GetFile element.");
  EXPECT_FALSE(ParseGetFile("<DataRequest><GetFile PrimKey=\"b\"/></DataRequest>", error));
  EXPECT_EQ(error, "The GetFile element has no ViewName.");
  EXPECT_FALSE(ParseGetFile("<DataRequest><GetFile ViewName=\"a\" PrimKey=\"\"/></DataRequest>", error));
  EXPECT_EQ(error, "The GetFile element has no PrimKey.");
}

TEST(ParseGetFile, DeepNestingIsRefusedNotRecursedWithoutBound) {
  std::string doc;
  for (int i = 0; i < 5000; ++i) doc += "<a>";
  std::string error;
  EXPECT_FALSE(ParseGetFile(doc, error));
  EXPECT_NE(error.find("nested too deeply"), std::string::npos);
}

namespace {
RequestHead Head(const std::string& fields) {
  return ParseRequestHead("POST /system/filestore/data.aspx HTTP/1.1\r\n" + fields + "\r\n");
}
}  // namespace

TEST(UploadFields, AllThreeSpellingsOfAFieldLine) {
  for (const char* sep : {" :", ": ", ":", " : "}) {
    std::string s(sep);
    auto head = Head("vm_PrimKey" + s + "K1\r\nvm_ViewName" + s + "Docs\r\nvm_FileName" + s +
                     "cmVwb3J0LnR4dA==\r\nvm_FileSize" + s + "9\r\nvm_FileCRC" + s + "-873187034\r\n");
    std::string error;
    auto f = ParseUploadFields(head, error);
    ASSERT_TRUE(f) << "[" << sep << "] " << error;
    EXPECT_EQ(f->prim_key, "K1");
    EXPECT_EQ(f->view_name, "Docs");
    EXPECT_EQ(f->file_name, "report.txt");
    EXPECT_EQ(f->file_size, 9);
    EXPECT_EQ(f->file_crc, -873187034);
  }
}

TEST(UploadFields, FirstOccurrenceCountsAndNamesIgnoreCase) {
  auto head = Head("VM_PRIMKEY: first\r\nvm_PrimKey: second\r\nvm_viewname: V\r\nvm_FileName: YQ==\r\n"
                   "vm_FileSize: 0\r\nvm_FileCRC: 0\r\n");
  std::string error;
  auto f = ParseUploadFields(head, error);
  ASSERT_TRUE(f) << error;
  EXPECT_EQ(f->prim_key, "first");
  EXPECT_EQ(f->file_name, "a");
}

TEST(UploadFields, NamesTheProblem) {
  const std::string ok = "vm_PrimKey :K\r\nvm_ViewName :V\r\nvm_FileName :YQ==\r\nvm_FileSize :1\r\nvm_FileCRC :1\r\n";
  struct Case {
    std::string from, to, message;
  } cases[] = {
      {"vm_PrimKey :K\r\n", "", "The header field vm_PrimKey is missing or empty."},
      {"vm_ViewName :V", "vm_ViewName :  ", "The header field vm_ViewName is missing or empty."},
      {"YQ==", "YQ=", "vm_FileName \"YQ=\" is not valid base64."},
      {"YQ==", "Li4=", "The file name \"..\" is not a file name."},
      {"YQ==", "YS9i", "The file name \"a/b\" holds a path separator."},
      {"YQ==", "YVxi", "The file name \"a\\b\" holds a path separator."},
      {"YQ==", "YQpi", "The file name holds a control character."},
      {"vm_FileSize :1", "vm_FileSize :4294967295", "vm_FileSize \"4294967295\" is not a signed 32-bit decimal number."},
      {"vm_FileCRC :1", "vm_FileCRC :0x1", "vm_FileCRC \"0x1\" is not a signed 32-bit decimal number."},
  };
  for (auto& c : cases) {
    std::string fields = ok;
    fields.replace(fields.find(c.from), c.from.size(), c.to);
    std::string error;
    EXPECT_FALSE(ParseUploadFields(Head(fields), error)) << c.message;
    EXPECT_EQ(error, c.message);
  }
}

TEST(UploadFields, NonAsciiValuesAndAnsiNames) {
  // A key sent as ISO-8859-1 bytes, a view as UTF-8; the name's bytes are Windows-1252.
  auto head = Head("vm_PrimKey :K\xe9\r\nvm_ViewName :V\xc3\xa9\r\nvm_FileName :" + Base64Encode("caf\xe9\x80.txt") +
                   "\r\nvm_FileSize :1\r\nvm_FileCRC :1\r\n");
  std::string error;
  auto f = ParseUploadFields(head, error);
  ASSERT_TRUE(f) << error;
  EXPECT_EQ(f->prim_key, "K\xc3\xa9");
  EXPECT_EQ(f->view_name, "V\xc3\xa9");
  EXPECT_EQ(f->file_name, "caf\xc3\xa9\xe2\x82\xac.txt");
}

// With "vm_FileNameEncoding: utf-8" the name's bytes are UTF-8 and are stored as they are; the same bytes
// without the line are Windows-1252.
TEST(UploadFields, AUtf8NameIsStoredAsItsTrueName) {
  const std::string utf8 = "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80.txt";
  const std::string fields = "vm_PrimKey :K\r\nvm_ViewName :V\r\nvm_FileName :" + Base64Encode(utf8) +
                             "\r\nvm_FileSize :1\r\nvm_FileCRC :1\r\n";
  std::string error;
  for (const char* line : {"vm_FileNameEncoding :utf-8\r\n", "VM_FILENAMEENCODING: UTF-8\r\n"}) {
    auto f = ParseUploadFields(Head(fields + line), error);
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->file_name, utf8) << line;
  }
  auto plain = ParseUploadFields(Head(fields), error);
  ASSERT_TRUE(plain) << error;
  EXPECT_NE(plain->file_name, utf8);
  EXPECT_EQ(plain->file_name.substr(0, 4), "\xc3\x90\xc5\xbe") << "D0 9E read as Windows-1252";
}

TEST(UploadFields, AUtf8ClaimIsCheckedAndOtherEncodingsAreRefused) {
  const std::string base = "vm_PrimKey :K\r\nvm_ViewName :V\r\nvm_FileSize :1\r\nvm_FileCRC :1\r\n";
  std::string error;
  EXPECT_FALSE(ParseUploadFields(
      Head(base + "vm_FileName :" + Base64Encode("caf\xe9") + "\r\nvm_FileNameEncoding :utf-8\r\n"), error));
  EXPECT_EQ(error, "vm_FileName is not valid UTF-8, as vm_FileNameEncoding says it is.");
  EXPECT_FALSE(ParseUploadFields(Head(base + "vm_FileName :YQ==\r\nvm_FileNameEncoding :utf-16\r\n"), error));
  EXPECT_EQ(error, "vm_FileNameEncoding \"utf-16\" is not supported (only utf-8 is).");
  // The name checks apply to the true name too.
  EXPECT_FALSE(ParseUploadFields(
      Head(base + "vm_FileName :" + Base64Encode("\xe6\x9d\xb1/x") + "\r\nvm_FileNameEncoding :utf-8\r\n"), error));
  EXPECT_NE(error.find("path separator"), std::string::npos) << error;
}

TEST(ParseRequestHead, KeepsOrderAndToleratesLfOnly) {
  auto h = ParseRequestHead("GET / HTTP/1.1\nB: 2\nA:1\nno colon line\n\nbody: x\n");
  EXPECT_EQ(h.request_line, "GET / HTTP/1.1");
  ASSERT_EQ(h.fields.size(), 2u);
  EXPECT_EQ(h.fields[0].name, "B");
  EXPECT_EQ(h.fields[1].value, "1");
}

TEST(Documents, AreAsciiWithEscapes) {
  EXPECT_EQ(SuccessDocument("abc"), "<Response><Success FileRef=\"abc\"/></Response>");
  EXPECT_EQ(ErrorDocument("a<b & \"c\" \xc3\xa9\xe2\x82\xac\n"),
            "<Response><Error Message=\"a&lt;b &amp; &quot;c&quot; &#233;&#8364;&#10;\"/></Response>");
}

TEST(Documents, NeverCarryCharactersXmlCannotHold) {
  // Tab, LF and CR survive as references; every other C0 control, U+FFFE and U+FFFF become U+FFFD.
  EXPECT_EQ(XmlAttribute("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d");
  for (int c = 1; c < 0x20; ++c) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    EXPECT_EQ(XmlAttribute(std::string("k") + static_cast<char>(c) + "k"), "k&#65533;k") << c;
  }
  EXPECT_EQ(XmlAttribute(std::string("a\0b", 3)), "a&#65533;b");
  EXPECT_EQ(XmlAttribute("\xef\xbf\xbe\xef\xbf\xbf"), "&#65533;&#65533;");
  // The neighbours of the excluded ranges are characters and stay what they are.
  EXPECT_EQ(XmlAttribute("\x7f\xc2\x80\xef\xbf\xbd\xed\x9f\xbf\xee\x80\x80\xf0\x90\x80\x80"),
            "&#127;&#128;&#65533;&#55295;&#57344;&#65536;");
  // Bytes that are not UTF-8 are taken one by one as ISO-8859-1, which has no forbidden characters above 0x1F.
  EXPECT_EQ(XmlAttribute("\xff\xed\xa0\x80"), "&#255;&#237;&#160;&#128;");
  EXPECT_EQ(ErrorDocument("No file is stored under view V, key A\x01" "B."),
            "<Response><Error Message=\"No file is stored under view V, key A&#65533;B.\"/></Response>");
}

TEST(LocalHost, LoopbackNamesAndTheListenAddressWithAnyPort) {
  for (const char* host : {"localhost", "LOCALHOST:8080", "localhost.", "127.0.0.1", "127.0.0.1:65535", "127.9.8.7:1",
                           "[::1]", "[::1]:443", "[0:0:0:0:0:0:0:1]:80", "[::ffff:127.0.0.1]:80", "localhost:"})
    EXPECT_TRUE(IsLocalHost(host, "127.0.0.1")) << host;
  EXPECT_TRUE(IsLocalHost("192.168.1.5:8080", "192.168.1.5"));
  EXPECT_TRUE(IsLocalHost("Store.Example:80", "store.example"));
  EXPECT_TRUE(IsLocalHost("[fe80::1]:80", "[FE80::1]"));
  for (const char* host : {"", ":80", "evil.example", "evil.example:8080", "localhost.evil.example",
                           "127.0.0.1.evil.example", "127.0.0.1:80:80", "127.0.0.1:8o", "127.0.0.1:123456",
                           "::1", "[::1", "[::1]x", "[::2]", "128.0.0.1", "0.0.0.0", "127.1", "2130706433",
                           "192.168.1.5", "localhost\r"})
    EXPECT_FALSE(IsLocalHost(host, "127.0.0.1")) << host;
  EXPECT_FALSE(IsLocalHost("192.168.1.6", "192.168.1.5"));
  EXPECT_FALSE(IsLocalHost("evil.example", ""));
}

TEST(Json, EscapesTextAndBytes) {
  EXPECT_EQ(JsonString("a\"b\\c\r\n\x01\xc3\xa9"), "\"a\\\"b\\\\c\\r\\n\\u0001\xc3\xa9\"");
  EXPECT_EQ(JsonString("\xff"), "\"\xef\xbf\xbd\"");
  EXPECT_EQ(JsonBytes("\xe9"), "\"\xc3\xa9\"");
}

TEST(FileRef, HasTheGuidShapeAndIsFresh) {
  std::string a = NewFileRef(), b = NewFileRef();
  EXPECT_NE(a, b);
  ASSERT_EQ(a.size(), 36u);
  for (std::size_t i : {8u, 13u, 18u, 23u}) EXPECT_EQ(a[i], '-');
}

TEST(TimeText, Validates) {
  EXPECT_TRUE(IsTimeText("2024-01-02 03:04:05"));
  EXPECT_FALSE(IsTimeText("2024-13-02 03:04:05"));
  EXPECT_FALSE(IsTimeText("2024-01-02T03:04:05"));
  EXPECT_FALSE(IsTimeText("2024-01-02 03:04"));
  EXPECT_FALSE(IsTimeText("2024-01-02 -1:04:05"));
}

#include "platform/foundation/Exception.h"
#include "platform/foundation/Xml.h"
#include "platform/foundation/XmlReading.h"

#include <QBuffer>
#include <QFile>
#include <QXmlStreamWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace platform;

namespace {

XmlElement sampleDocument()
{
    XmlElement root(QStringLiteral("KLVPlaylist"));
    root.setAttribute(QStringLiteral("version"), QStringLiteral("3"));
    root.setAttribute(QStringLiteral("zeta"), QStringLiteral("last"));
    root.setAttribute(QStringLiteral("alpha"), QStringLiteral("a < b & \"c\"\n\ttab"));
    XmlElement& channel = root.appendChild(QStringLiteral("KLVChannel"));
    channel.setAttribute(QStringLiteral("tag"), QStringLiteral("1"));
    channel.appendChild(XmlElement(QStringLiteral("name"), QStringLiteral("  Main  <screen> & more ")));
    channel.appendChild(XmlElement(QStringLiteral("empty")));
    XmlElement cue(QStringLiteral("KLVPlaylistNode"));
    cue.setAttribute(QStringLiteral("path"), QStringLiteral("/media/\u00e9t\u00e9 \U0001F3AC.mov"));
    cue.appendChild(XmlElement(QStringLiteral("rate"), QStringLiteral("29.97")));
    channel.appendChild(cue);
    return root;
}

} // namespace

TEST(Xml, PrettyOutputIsExactAndRoundTripsByteForByte)
{
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<KLVPlaylist version=\"3\" zeta=\"last\" alpha=\"a &lt; b &amp; &quot;c&quot;&#10;&#9;tab\">\n"
        "    <KLVChannel tag=\"1\">\n"
        "        <name>  Main  &lt;screen&gt; &amp; more </name>\n"
        "        <empty/>\n"
        "        <KLVPlaylistNode path=\"/media/\xc3\xa9t\xc3\xa9 \xf0\x9f\x8e\xac.mov\">\n"
        "            <rate>29.97</rate>\n"
        "        </KLVPlaylistNode>\n"
        "    </KLVChannel>\n"
        "</KLVPlaylist>\n";
    const QByteArray written = writeXml(sampleDocument());
    EXPECT_EQ(written.toStdString(), expected.toStdString());

    const XmlElement read = parseXml(written);
    EXPECT_EQ(read, sampleDocument());
    EXPECT_EQ(writeXml(read), written);
}

TEST(Xml, CompactOutputAndOptionalDeclaration)
{
    XmlWriteOptions options;
    options.pretty = false;
    options.declaration = false;
    const QByteArray compact = writeXml(sampleDocument(), options);
    EXPECT_FALSE(compact.contains('\n'));
    EXPECT_TRUE(compact.startsWith("<KLVPlaylist version=\"3\""));
    EXPECT_EQ(parseXml(compact), sampleDocument());
    EXPECT_EQ(writeXml(parseXml(compact), options), compact);
}

TEST(Xml, AttributeOrderIsKeptAndSetReplacesInPlace)
{
    XmlElement e = parseXml(R"(<d z="1" a="2" m="3" xmlns:q="urn:x" q:k="4"/>)");
    ASSERT_EQ(e.attributes().size(), 5u);
    EXPECT_EQ(e.attributes()[0].first, QStringLiteral("z"));
    EXPECT_EQ(e.attributes()[1].first, QStringLiteral("a"));
    EXPECT_EQ(e.attributes()[2].first, QStringLiteral("m"));
    EXPECT_EQ(e.attributes()[3].first, QStringLiteral("xmlns:q"));
    EXPECT_EQ(e.attribute(QStringLiteral("q:k")), QStringLiteral("4"));
    e.setAttribute(QStringLiteral("a"), QStringLiteral("new"));
    EXPECT_EQ(e.attributes()[1], (XmlElement::Attribute {QStringLiteral("a"), QStringLiteral("new")}));
    EXPECT_TRUE(e.removeAttribute(QStringLiteral("z")));
    EXPECT_FALSE(e.removeAttribute(QStringLiteral("z")));
    EXPECT_EQ(e.attribute(QStringLiteral("none"), QStringLiteral("fallback")), QStringLiteral("fallback"));
    XmlWriteOptions options;
    options.declaration = false;
    EXPECT_EQ(writeXml(e, options), QByteArray("<d a=\"new\" m=\"3\" xmlns:q=\"urn:x\" q:k=\"4\"/>\n"));
}

TEST(Xml, CharactersXmlCannotHoldAreRemovedBeforeWriting)
{
    const QString dirty = QStringLiteral("a\x01" "b\x1f" "c\tok") + QChar(0xD800) + QStringLiteral("d")
        + QChar(0xFFFE) + QChar(0xFFFF) + QStringLiteral("\U0001F600");
    const QString clean = QStringLiteral("abc\tokd\U0001F600");
    EXPECT_EQ(xmlSafeText(dirty), clean);
    EXPECT_EQ(xmlSafeText(QStringLiteral("plain")), QStringLiteral("plain"));

    XmlElement e(QStringLiteral("cue"), dirty);
    e.setAttribute(QStringLiteral("title"), dirty);
    const QByteArray written = writeXml(e);
    const XmlElement read = parseXml(written); // must be well-formed
    EXPECT_EQ(read.text(), clean);
    EXPECT_EQ(read.attribute(QStringLiteral("title")), clean);

    // Escaped as QXmlStreamWriter escapes, byte for byte (files written before keep their bytes).
    const QString marks = QStringLiteral("<>&\"' \t\n]]> \u00e9\u20ac\U0001F3AC\r") + dirty;
    XmlElement mixed(QStringLiteral("cue"), QString(marks).remove(QLatin1Char('\r')));
    mixed.setAttribute(QStringLiteral("title"), marks);
    mixed.appendChild(QStringLiteral("empty"));
    QByteArray expected;
    QBuffer buffer(&expected);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("cue"));
    writer.writeAttribute(QStringLiteral("title"), xmlSafeText(marks));
    writer.writeCharacters(xmlSafeText(mixed.text()));
    writer.writeEmptyElement(QStringLiteral("empty"));
    writer.writeEndElement();
    buffer.close();
    XmlWriteOptions compact;
    compact.pretty = false;
    EXPECT_EQ(writeXml(mixed, compact).toStdString(), expected.toStdString());
}

TEST(Xml, ReadingSkipsCommentsInstructionsAndLayout)
{
    const XmlElement e = parseXml("<!-- head -->\n<?app hint?>\n<!DOCTYPE list>\n"
                                  "<list>\n  <!-- c -->\n  <item>one</item>\n  <?pi x?>\n"
                                  "  <item><![CDATA[<two> & ]]>2</item>\n  <item>  spaced  </item>\n</list>\n");
    EXPECT_EQ(e.name(), QStringLiteral("list"));
    EXPECT_TRUE(e.text().isEmpty());
    ASSERT_EQ(e.children().size(), 3u);
    EXPECT_EQ(e.children()[0].text(), QStringLiteral("one"));
    EXPECT_EQ(e.children()[1].text(), QStringLiteral("<two> & 2"));
    EXPECT_EQ(e.children()[2].text(), QStringLiteral("  spaced  "));
    EXPECT_EQ(e.childrenNamed(QStringLiteral("item")).size(), 3u);
    EXPECT_EQ(e.childText(QStringLiteral("item")), QStringLiteral("one"));
    EXPECT_EQ(e.firstChild(QStringLiteral("missing")), nullptr);
    EXPECT_EQ(parseXml("<a>&lt;&#65;&#x42;&amp;</a>").text(), QStringLiteral("<AB&"));
}

TEST(Xml, WhitespaceIsLayoutOnlyBetweenChildElements)
{
    // Whitespace alone is the text of an element without children, at any depth and after
    // siblings that had layout of their own.
    const XmlElement e = parseXml("<r>\n  <a>  </a>\n  <b>\t<c> </c>\n</b>\n  <d>\n  <e/>tail </d><f>x <g/> </f></r>");
    ASSERT_EQ(e.children().size(), 4u);
    EXPECT_TRUE(e.text().isEmpty());
    EXPECT_EQ(e.children()[0].text(), QStringLiteral("  "));
    EXPECT_TRUE(e.children()[1].text().isEmpty());
    EXPECT_EQ(e.children()[1].children()[0].text(), QStringLiteral(" "));
    // Once other text comes, the whitespace before it belongs to it, children or not.
    EXPECT_EQ(e.children()[2].text(), QStringLiteral("\n  tail "));
    EXPECT_EQ(e.children()[3].text(), QStringLiteral("x  "));
    EXPECT_TRUE(parseXml("<r><![CDATA[ ]]><a/> </r>").text().isEmpty());
    EXPECT_EQ(parseXml("<r> <![CDATA[ ]]> </r>").text(), QStringLiteral("   "));
}

TEST(Xml, MalformedInputRaisesWithPosition)
{
    const auto reasonOf = [](const QByteArray& data) -> std::string {
        try {
            parseXml(data);
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), QString::fromLatin1(kXmlParseException));
            return e.what();
        }
        return "no exception";
    };
    EXPECT_EQ(reasonOf("<a>\n  <b>\n</a>").rfind("line 3, column ", 0), 0u) << reasonOf("<a>\n  <b>\n</a>");
    EXPECT_EQ(reasonOf("").find("line"), 0u);
    for (const char* bad : {"<a>", "<a></b>", "text only", "<a x=1/>", "<a x='1' x='2'/>", "<a/><b/>",
                            "<a>&undefined;</a>", "<a>\x01</a>", "<a>\xff\xfe</a>", "<?xml version=\"1.0\"?>"})
        EXPECT_NE(reasonOf(bad), "no exception") << bad;

    Error error;
    EXPECT_FALSE(readXml("<a><b></a>", &error));
    EXPECT_EQ(error.domain, QString::fromLatin1(kXmlErrorDomain));
    EXPECT_EQ(error.code, kXmlMalformed);
    EXPECT_TRUE(error.failureReason.startsWith(QStringLiteral("line 1, column ")));
    EXPECT_TRUE(readXml("<a/>", &error));
}

TEST(Xml, NestingAndSizeLimitsAreEnforced)
{
    const auto nested = [](int depth) {
        QByteArray data;
        for (int i = 0; i < depth; ++i)
            data += "<n>";
        for (int i = 0; i < depth; ++i)
            data += "</n>";
        return data;
    };
    EXPECT_NO_THROW(parseXml(nested(256)));
    Error error;
    EXPECT_FALSE(readXml(nested(257), &error));
    EXPECT_EQ(error.code, kXmlLimitExceeded);
    EXPECT_TRUE(error.failureReason.contains(QStringLiteral("deeper than 256")));
    EXPECT_THROW(parseXml(nested(100000)), Exception);

    XmlReadLimits small;
    small.maxBytes = 16;
    EXPECT_FALSE(readXml("<a>0123456789abcdef</a>", &error, small));
    EXPECT_EQ(error.code, kXmlLimitExceeded);
    // Entity expansion cannot blow up memory.
    QByteArray bomb = "<!DOCTYPE b [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i)
        bomb += "<!ENTITY a" + QByteArray::number(i) + " \"&a" + (i > 1 ? QByteArray::number(i - 1) : QByteArray())
            + ";&a" + (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";&a"
            + (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";&a"
            + (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";\">";
    bomb += "]><b>&a9;</b>";
    EXPECT_FALSE(readXml(bomb, &error));
}

TEST(Xml, FilesAreWrittenAtomicallyAndReadBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/commModuleDevices.xml"));
    Error error;
    ASSERT_TRUE(writeXmlFile(path, sampleDocument(), XmlWriteOptions {}, &error)) << error.toString().toStdString();
    EXPECT_EQ(parseXmlFile(path), sampleDocument());
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("sub"))).entryList(QDir::Files),
              QStringList {QStringLiteral("commModuleDevices.xml")}); // no temporary left behind
    try {
        parseXmlFile(dir.filePath(QStringLiteral("missing.xml")));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), QString::fromLatin1(kFileException));
        EXPECT_TRUE(e.reason().contains(QStringLiteral("missing.xml")));
    }
}

TEST(Xml, LineBreaksAndTabsSurviveAReadWriteTrip)
{
    XmlElement e(QStringLiteral("note"), QStringLiteral("line1\r\nline2\rline3\n\tend"));
    e.setAttribute(QStringLiteral("a"), QStringLiteral("x\r\ny\tz"));
    for (bool pretty : {true, false}) {
        XmlWriteOptions options;
        options.pretty = pretty;
        const XmlElement read = parseXml(writeXml(e, options));
        EXPECT_EQ(read.text(), e.text());
        EXPECT_EQ(read.attribute(QStringLiteral("a")), e.attribute(QStringLiteral("a")));
    }
}

TEST(Xml, MixedContentIsStableAcrossTrips)
{
    XmlElement root(QStringLiteral("root"));
    XmlElement& mixed = root.appendChild(XmlElement(QStringLiteral("p"), QStringLiteral("hello ")));
    mixed.appendChild(XmlElement(QStringLiteral("b"), QStringLiteral("bold")));
    mixed.appendChild(QStringLiteral("br"));
    const QByteArray once = writeXml(root);
    const QByteArray twice = writeXml(parseXml(once));
    EXPECT_EQ(once.toStdString(), twice.toStdString());
    EXPECT_EQ(parseXml(once), root);
}

TEST(Xml, ManyElementsWithRepeatedAndDistinctNamesAndValuesReadBackExactly)
{
    // Names and short values recur across thousands of elements; every one must read back as
    // written, whether it repeats, differs from the last by one character or is long.
    XmlElement root(QStringLiteral("list"));
    for (int i = 0; i < 3000; ++i) {
        XmlElement& e = root.appendChild(QStringLiteral("item%1").arg(i % 7));
        e.setAttribute(QStringLiteral("n"), QString::number(i));
        e.setAttribute(QStringLiteral("flag"), i % 2 ? QStringLiteral("YES") : QStringLiteral("NO"));
        e.setAttribute(QStringLiteral("a%1").arg(i % 13), QStringLiteral("v%1").arg(i % 29));
        e.setAttribute(QStringLiteral("long"), QStringLiteral("/media/show/a fairly long path %1.mov").arg(i % 5));
    }
    const XmlElement back = parseXml(writeXml(root));
    EXPECT_EQ(back, root);
}

TEST(Xml, PlainReaderTakesWrittenDocumentsAndAgreesWithTheGeneralReaderOrDeclines)
{
    const auto agree = [](const QByteArray& data) {
        XmlReadFailure failure;
        const std::optional<XmlElement> plain = XmlReading::readPlain(data, 256);
        if (plain) {
            const std::optional<XmlElement> general = XmlReading::readStream(data, XmlReadLimits {}, failure);
            EXPECT_TRUE(general) << data.toStdString() << " : " << failure.message.toStdString();
            if (general) {
                EXPECT_EQ(*plain, *general) << data.toStdString();
                EXPECT_EQ(writeXml(*plain), writeXml(*general)) << data.toStdString();
            }
        }
        return plain.has_value();
    };

    // What we write is taken by the plain reader, whatever the texts hold.
    XmlElement odd(QStringLiteral("odd"), QStringLiteral("a\r\nb\tc <d> & \"e\" 'f' ]]> \u00a0\u00e9\U0001F3AC"));
    odd.setAttribute(QStringLiteral("v"), QStringLiteral("x\r\ny\tz <>&\"' \u00a0\u20ac\U0001F3AC"));
    odd.appendChild(XmlElement(QStringLiteral("s"), QStringLiteral(" ")));
    odd.appendChild(XmlElement(QStringLiteral("u"), QStringLiteral("\u00a0")));
    for (const XmlElement& tree : {sampleDocument(), odd})
        for (bool pretty : {true, false}) {
            XmlWriteOptions options;
            options.pretty = pretty;
            EXPECT_TRUE(agree(writeXml(tree, options))) << writeXml(tree, options).toStdString();
        }
    for (const char* taken : {"<a b='1' c = \"2\" >&lt;&gt;&amp;&quot;&apos;&#65;&#x1F3AC;&#xd;</a>", "<a/>",
                              "<a>\n<b/>\n</a>\n", "<a>&#160;<b/>&#x20;</a>", "<a>x<b/>y</a>", "<a x='&#9;&#10;'/>"})
        EXPECT_TRUE(agree(taken)) << taken;

    // Anything else: random documents from the pieces of well-formed and broken XML.
    const char* pieces[] = {"<a>", "</a>", "<b x=\"1\">", "</b>", "<c/>", "<a y='2' z=\"3\"/>", "<d x=\"1\" x=\"2\">",
                            "</d>", "text", " ", "\n", "\t", "\r", "\r\n", "&amp;", "&lt;", "&#13;", "&#0;", "&#x110000;",
                            "&#xFFFE;", "&nbsp;", "&", "<", ">", "]]>", "]]", "\xc3\xa9", "\xc3", "\xed\xa0\x80",
                            "\xef\xbf\xbe", "\xc2\x85", "\x7f", "\x01", "<!-- c -->", "<?pi?>", "<![CDATA[x]]>",
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xef\xbb\xbf", "<e a=\"\n\">", "</e>",
                            "<x:y>", "</x:y>", "<xmlns>", "<f xmlns='u'>", "</f>", "<g a=\"<\">", "<h a='1'b='2'>",
                            "</h >", "</a  >", "<1>", "<a\t/>"};
    std::mt19937 random(20261209);
    int taken = 0;
    for (int n = 0; n < 20000; ++n) {
        QByteArray data = n % 2 ? "<a>" : "";
        const int count = int(random() % 12);
        for (int i = 0; i < count; ++i)
            data += pieces[random() % std::size(pieces)];
        if (n % 2)
            data += "</a>";
        taken += agree(data) ? 1 : 0;
    }
    EXPECT_GT(taken, 500); // the comparison did happen
}

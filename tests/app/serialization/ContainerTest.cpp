#include "app/serialization/NSColorStringTransformer.h"
#include "app/serialization/QMXMLAttributes.h"
#include "app/serialization/QMXMLContainers.h"
#include "app/serialization/QMXMLDate.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/Exception.h"
#include "tests/app/support/Thrown.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// A model object that only duplicates, to see the deep copy reach it.
class Cue : public QMXMLSerializing, public QMDuplicating {
public:
    explicit Cue(QString n) : name(std::move(n)) {}
    QString name;
    platform::XmlElement qmXMLElement() const override
    {
        platform::XmlElement e("Cue");
        e.setAttribute("name", name);
        return e;
    }
    QString qmXMLClassName() const override { return "Cue"; }
    std::shared_ptr<QMXMLSerializing> duplicateObject() const override
    {
        return std::make_shared<Cue>(name + " copy");
    }
};

} // namespace

TEST(Containers, ListOfScalarsWritesAndReadsBack)
{
    const QMXMLValue list(QMXMLValue::Array{QMXMLValue("text"), QMXMLValue(QMXMLNumber::fromInt(5)),
                                            QMXMLValue(QMXMLNumber::fromBool(true)), QMXMLValue()});
    const QByteArray bytes = QMXMLDocument::serialize(list);
    EXPECT_EQ(bytes, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<array>\n"
                     "    <NSString>text</NSString>\n"
                     "    <NSNumber hint=\"int\">5</NSNumber>\n"
                     "    <NSNumber hint=\"bool\">YES</NSNumber>\n"
                     "</array>\n");
    const QMXMLValue back = QMXMLDocument::deserialize(bytes);
    ASSERT_EQ(back.toArray().size(), 3u); // the empty item was left out
    EXPECT_EQ(back.toArray()[0], QMXMLValue("text"));
    EXPECT_EQ(back.toArray()[1], QMXMLValue(QMXMLNumber::fromInt(5)));
    EXPECT_EQ(back.toArray()[2], QMXMLValue(QMXMLNumber::fromBool(true)));
    EXPECT_EQ(QMXMLDocument::serialize(back), bytes);
}

TEST(Containers, MapsKeepKeysAndNestAndRefuseOtherKeys)
{
    QMXMLValue::Dictionary inner{{QMXMLValue("x"), QMXMLValue(QMXMLNumber::fromDouble(0.1))}};
    QMXMLValue::Dictionary map{
        {QMXMLValue("name"), QMXMLValue("Show")},
        {QMXMLValue("inner"), QMXMLValue(inner)},
        {QMXMLValue("list"), QMXMLValue(QMXMLValue::Array{QMXMLValue("a")})},
        {QMXMLValue("colour"), QMXMLValue(QMColor{0.5, 1, 0, 0.25})},
    };
    const QByteArray bytes = QMXMLDocument::serialize(QMXMLValue(map));
    EXPECT_TRUE(bytes.contains("<NSString qmXMLDictionaryKey=\"name\">Show</NSString>"));
    EXPECT_TRUE(bytes.contains("<NSNumber qmXMLDictionaryKey=\"x\" hint=\"double\">0.100000</NSNumber>"));
    EXPECT_TRUE(bytes.contains("<NSColor qmXMLDictionaryKey=\"colour\">0.5 1 0 0.25</NSColor>"));
    const QMXMLValue back = QMXMLDocument::deserialize(bytes);
    EXPECT_EQ(back.value("name"), QMXMLValue("Show"));
    EXPECT_EQ(back.value("inner").value("x").toNumber().doubleValue(), 0.1);
    EXPECT_EQ(back.value("list").toArray().size(), 1u);
    EXPECT_EQ(back.value("colour").toColor(), (QMColor{0.5, 1, 0, 0.25}));
    EXPECT_EQ(QMXMLDocument::serialize(back), bytes);

    const platform::Exception e = thrown([] {
        QMXMLContainers::dictionaryElement({{QMXMLValue(QMXMLNumber::fromInt(1)), QMXMLValue("one")}});
    });
    EXPECT_EQ(e.name(), "Invalid Dictionary Key");
    EXPECT_EQ(e.reason(), "Attempted to serialize a dictionary containing a non-string dictionary key of class NSNumber");
}

TEST(Containers, BadChildrenEndTheRead)
{
    const platform::Exception unknown = thrown([] {
        QMXMLDocument::deserialize("<array><NSString>a</NSString><Widget/></array>");
    });
    EXPECT_EQ(unknown.name(), "Invald Class Name");
    EXPECT_EQ(unknown.reason(), "Cannot determine class from node name Widget");

    const platform::Exception noKey = thrown([] {
        QMXMLDocument::deserialize("<dictionary><NSString>a</NSString></dictionary>");
    });
    EXPECT_EQ(noKey.name(), "Missing Dictionary Key");

    const platform::Exception noHint = thrown([] { QMXMLDocument::deserialize("<array><NSNumber>1</NSNumber></array>"); });
    EXPECT_EQ(noHint.name(), "Invalid XML hint");

    const platform::Exception truncated = thrown([] { QMXMLDocument::deserialize("<array><NSString>a</NSStr"); });
    EXPECT_EQ(truncated.name(), platform::kXmlParseException);
}

TEST(Containers, DeepDuplicateReachesObjects)
{
    auto cue = std::make_shared<Cue>("A");
    const QMXMLValue list(QMXMLValue::Array{QMXMLValue(cue), QMXMLValue("t")});
    const QMXMLValue copy = list.duplicate();
    ASSERT_EQ(copy.toArray().size(), 2u);
    auto copied = copy.toArray()[0].objectAs<Cue>();
    ASSERT_TRUE(copied);
    EXPECT_NE(copied, cue);
    EXPECT_EQ(copied->name, "A copy");
    EXPECT_EQ(copy.toArray()[1], QMXMLValue("t"));
}

TEST(ColourText, TransformsBothWaysAndRefusesOtherValues)
{
    EXPECT_EQ(NSColorStringTransformer::colorFromText("1 0 0 1"), (QMColor{1, 0, 0, 1}));
    EXPECT_EQ(NSColorStringTransformer::colorFromText("\n 1 0 0 1 \t"), (QMColor{1, 0, 0, 1}));
    EXPECT_EQ(NSColorStringTransformer::colorFromText("1 0 0"), QMColor{});
    EXPECT_EQ(NSColorStringTransformer::colorFromText("1  0 0 1"), QMColor{});
    EXPECT_EQ(NSColorStringTransformer::colorFromText(""), QMColor{});
    EXPECT_EQ(NSColorStringTransformer::colorFromText("x 0.25 y 1"), (QMColor{0, 0.25, 0, 1}));
    // Components are doubles: their shortest text reads back unchanged.
    const QMColor odd{0.1, 1.0 / 3.0, 0.7, 1};
    EXPECT_EQ(NSColorStringTransformer::colorFromText(NSColorStringTransformer::colorText(odd)), odd);

    NSColorStringTransformer transformer;
    EXPECT_EQ(transformer.transformedValue(QMXMLValue(QMColor{1, 0.5, 0, 1})), QString("1 0.5 0 1"));
    EXPECT_FALSE(transformer.transformedValue(QMXMLValue()).has_value());
    const platform::Exception toText = thrown([&] { transformer.transformedValue(QMXMLValue("red")); });
    EXPECT_EQ(toText.name(), "NSColorStringTransformer transform failed");
    EXPECT_EQ(toText.reason(), "NSColorStringTransformer unable to transform red (instance of NSString) to string.");
    const platform::Exception toColour = thrown([&] { transformer.reverseTransformedValue(QMXMLValue(QMColor{})); });
    EXPECT_EQ(toColour.name(), "NSColorStringTransformer transform failed");
    EXPECT_EQ(transformer.reverseTransformedValue(QMXMLValue("0 0 1 1")).toColor(), (QMColor{0, 0, 1, 1}));
}

TEST(ScalarText, DatesAttributesAndRectangles)
{
    const QDateTime when(QDate(2024, 3, 1), QTime(14, 5, 9), Qt::OffsetFromUTC, 3600);
    const QString text = QMXMLDate::qmXMLStringValue(when);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d{4}$").match(text).hasMatch()) << text.toStdString();
    EXPECT_EQ(QMXMLDate::qmValueFromXMLStringValue(text), when);
    EXPECT_EQ(QMXMLDate::qmValueFromXMLStringValue("2024-03-01 14:05:09 +0100").toSecsSinceEpoch(),
              when.toSecsSinceEpoch());
    EXPECT_FALSE(QMXMLDate::qmValueFromXMLStringValue("yesterday").isValid());

    using namespace QMXMLAttributes;
    EXPECT_EQ(qmAttributeWithNameIntegerValue("n", -3).second, "-3");
    EXPECT_EQ(qmAttributeWithNameDoubleValue("d", 2.5).second, "2.500000");
    EXPECT_EQ(qmAttributeWithNameFloatValue("f", 0.1f).second, "0.100000");
    EXPECT_EQ(qmAttributeWithNameBoolValue("b", false).second, "NO");
    EXPECT_EQ(qmAttributeWithNameColorValue("c", QMColor{1, 0, 0, 1}).second, "1 0 0 1");

    EXPECT_EQ(qmStringFromRect(QRectF(0, 12.5, 1920, 1080)), "{{0, 12.5}, {1920, 1080}}");
    EXPECT_EQ(qmRectFromString("{{0, 12.5}, {1920, 1080}}"), QRectF(0, 12.5, 1920, 1080));
    EXPECT_EQ(qmRectFromString("{{-1.5e1, 2}, {3}}"), QRectF(-15, 2, 3, 0));
    EXPECT_EQ(qmRectFromString("nothing here"), QRectF());
}

TEST(Documents, FilesAreWrittenAtomicallyAndReadBack)
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/values.xml";
    const QMXMLValue value(QMXMLValue::Array{QMXMLValue("x")});
    platform::Error error;
    ASSERT_TRUE(QMXMLDocument::writeFile(value, path, &error)) << error.toString().toStdString();
    EXPECT_EQ(QMXMLDocument::readFile(path), value);
    EXPECT_EQ(thrown([] { QMXMLDocument::serialize(QMXMLValue("scalar")); }).name(), "Invalid Root Object");
    EXPECT_FALSE(QMXMLDocument::writeFile(value, "/proc/klv-not-writable/values.xml", &error));
}

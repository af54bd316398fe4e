// The INI line engine and the value rules, checked in memory.
#include "settings/IniAccess.h"
#include "settings/IniDocument.h"

#include <QStringEncoder>
#include <QtTest>

#include <limits>

namespace {

QByteArray Edit(const QByteArray& before, const QString& op, const QString& section,
                const QString& key, const QString& value) {
    TIniDocument doc = TIniDocument::FromBytes(before);
    if (op == u"set")
        doc.SetValue(section, key, value);
    else if (op == u"del")
        doc.DeleteKey(section, key);
    else if (op == u"erase")
        doc.EraseSection(section);
    return doc.ToBytes();
}

} // namespace

class TestIni : public QObject {
    Q_OBJECT
private slots:
    void parseInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        const int def = -77;
        QTest::newRow("empty gives default") << "" << def;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("decimal") << "12" << 12;
        QTest::newRow("leading spaces") << "   12" << 12;
        QTest::newRow("plus sign") << "+5" << 5;
        QTest::newRow("minus sign") << "-5" << -5;
        QTest::newRow("leading zeros") << "000000000012" << 12;
        QTest::newRow("int max") << "2147483647" << std::numeric_limits<int>::max();
        QTest::newRow("int min") << "-2147483648" << std::numeric_limits<int>::min();
        QTest::newRow("above int max") << "2147483648" << def;
        QTest::newRow("below int min") << "-2147483649" << def;
        QTest::newRow("huge decimal") << "99999999999999999999999" << def;
        QTest::newRow("trailing letters") << "12px" << def;
        QTest::newRow("trailing space") << "12 " << def;
        QTest::newRow("inner space") << "1 2" << def;
        QTest::newRow("sign alone") << "-" << def;
        QTest::newRow("dollar hex") << "$20" << 32;
        QTest::newRow("0x hex") << "0x20" << 32;
        QTest::newRow("0X hex") << "0X20" << 32;
        QTest::newRow("x hex") << "x20" << 32;
        QTest::newRow("X hex mixed case digits") << "X1f" << 31;
        QTest::newRow("spaces then 0x") << "  0x10" << 16;
        QTest::newRow("eight F digits read as -1") << "0xFFFFFFFF" << -1;
        QTest::newRow("dollar eight digits") << "$80000000" << std::numeric_limits<int>::min();
        QTest::newRow("ninth hex digit") << "0x123456789" << def;
        QTest::newRow("ninth digit even a zero") << "$000000001" << def;
        QTest::newRow("0x without digits") << "0x" << def;
        QTest::newRow("dollar alone") << "$" << def;
        QTest::newRow("signed hex") << "-$20" << def;
        QTest::newRow("signed 0x") << "-0x20" << def;
        QTest::newRow("bad hex digit") << "0x1g" << def;
        QTest::newRow("decimal point") << "1.5" << def;
        QTest::newRow("full-width digits") << "１２" << def;
    }
    void parseInteger() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(IniStrToIntDef(text, -77), expected);
    }

    void cleanValue_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "abc"
                               << "abc";
        QTest::newRow("blanks around") << "  a b \t"
                                       << "a b";
        QTest::newRow("double quotes") << "\"abc\""
                                       << "abc";
        QTest::newRow("single quotes") << " 'abc' "
                                       << "abc";
        QTest::newRow("quotes keep inner blanks") << "\" x \""
                                                  << " x ";
        QTest::newRow("one pair only") << "\"\"abc\"\""
                                       << "\"abc\"";
        QTest::newRow("mismatched quotes stay") << "\"abc'"
                                                << "\"abc'";
        QTest::newRow("lone quote stays") << "\""
                                          << "\"";
        QTest::newRow("empty quotes") << "\"\""
                                      << "";
        QTest::newRow("inner quote stays") << "a\"b"
                                           << "a\"b";
        QTest::newRow("equals sign in value") << "a=b"
                                              << "a=b";
    }
    void cleanValue() {
        QFETCH(QString, raw);
        QFETCH(QString, value);
        QCOMPARE(IniCleanValue(raw), value);
    }

    void valueCutTo2047Bytes() {
        QCOMPARE(IniCleanValue(QString(3000, u'a')), QString(2047, u'a'));
        QCOMPARE(IniCleanValue(QString(2047, u'a')), QString(2047, u'a'));
        // Three bytes a character: 682 whole characters fit, never half of one.
        const QString kana = IniCleanValue(QString(1000, u'あ'));
        QCOMPARE(kana, QString(682, u'あ'));
        QVERIFY(kana.toUtf8().size() <= 2047);
        // Four-byte characters are never split between their surrogates.
        QString emoji;
        for (int i = 0; i < 600; ++i)
            emoji += QString::fromUcs4(U"\U0001F600");
        const QString cut = IniCleanValue(emoji);
        QCOMPARE(cut.toUtf8().size(), 2044);
        QVERIFY(!cut.back().isHighSurrogate());
    }

    void storedValueReadsBackUnchanged_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("quoted");
        QTest::newRow("plain path") << "/home/user/画像" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("leading blank") << " lead" << true;
        QTest::newRow("trailing blank") << "/pics/trail " << true;
        QTest::newRow("enclosed in double quotes") << "\"q\"" << true;
        QTest::newRow("enclosed in single quotes") << "'q'" << true;
        QTest::newRow("quote at one end") << "it's" << false;
    }
    void storedValueReadsBackUnchanged() {
        QFETCH(QString, value);
        QFETCH(bool, quoted);
        const QString stored = IniStoredValue(value);
        QCOMPARE(stored != value, quoted);
        QCOMPARE(IniCleanValue(stored), value);
    }

    void lineBreakInValueKeepsOneLine() {
        const QByteArray out = Edit("[A]\n", "set", "A", "k", IniStoredValue("a\nb\rc"));
        QCOMPARE(out, QByteArray("[A]\nk=a b c\n"));
    }

    void edit_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("replace where it stands") << QByteArray("[A]\nx=1\nk=old\ny=2\n") << "set"
                                                 << "A"
                                                 << "k"
                                                 << "new" << QByteArray("[A]\nx=1\nk=new\ny=2\n");
        QTest::newRow("case-insensitive section and key keep their spelling")
            << QByteArray("[window]\nTOP=5\n") << "set"
            << "WINDOW"
            << "Top"
            << "7" << QByteArray("[window]\nTOP=7\n");
        QTest::newRow("blanks around key and section name")
            << QByteArray("[ A ]\n  k = 1 \n") << "set"
            << "A"
            << "k"
            << "2" << QByteArray("[ A ]\n  k=2\n");
        QTest::newRow("new key after the last key, before blank lines")
            << QByteArray("[A]\na=1\n\n\n[B]\nb=1\n") << "set"
            << "A"
            << "c"
            << "3" << QByteArray("[A]\na=1\nc=3\n\n\n[B]\nb=1\n");
        QTest::newRow("new key before a comment leading into the next section")
            << QByteArray("[A]\na=1\n; next one\n[B]\n") << "set"
            << "A"
            << "c"
            << "3" << QByteArray("[A]\na=1\nc=3\n; next one\n[B]\n");
        QTest::newRow("new key after a user line without equals sign")
            << QByteArray("[A]\na=1\nsome note\n\n[B]\n") << "set"
            << "A"
            << "c"
            << "3" << QByteArray("[A]\na=1\nsome note\nc=3\n\n[B]\n");
        QTest::newRow("new key in an empty section") << QByteArray("[A]\n[B]\n") << "set"
                                                     << "A"
                                                     << "c"
                                                     << "3" << QByteArray("[A]\nc=3\n[B]\n");
        QTest::newRow("new key in the last section without final line end")
            << QByteArray("[A]\na=1") << "set"
            << "A"
            << "c"
            << "3" << QByteArray("[A]\na=1\nc=3\n");
        QTest::newRow("new section at the end") << QByteArray("[A]\na=1\n\n") << "set"
                                                << "B"
                                                << "b"
                                                << "2" << QByteArray("[A]\na=1\n\n[B]\nb=2\n");
        QTest::newRow("new section after a last line without line end")
            << QByteArray("[A]\na=1") << "set"
            << "B"
            << "b"
            << "2" << QByteArray("[A]\na=1\n[B]\nb=2\n");
        QTest::newRow("empty file") << QByteArray() << "set"
                                    << "B"
                                    << "b"
                                    << "2" << QByteArray("[B]\nb=2\n");
        QTest::newRow("CRLF line ends kept and used for new lines")
            << QByteArray("[A]\r\na=1\r\n[B]\r\n") << "set"
            << "A"
            << "b"
            << "2" << QByteArray("[A]\r\na=1\r\nb=2\r\n[B]\r\n");
        QTest::newRow("mixed line ends each kept") << QByteArray("[A]\r\na=1\nk=0\r\n") << "set"
                                                   << "A"
                                                   << "k"
                                                   << "9" << QByteArray("[A]\r\na=1\nk=9\r\n");
        QTest::newRow("foreign lines survive")
            << QByteArray("; comment\nloose=1\n[A]\nforeign=x\nno equals here\n;a=5\na=1\n[Z]\nq\n")
            << "set"
            << "A"
            << "a"
            << "2"
            << QByteArray(
                   "; comment\nloose=1\n[A]\nforeign=x\nno equals here\n;a=5\na=2\n[Z]\nq\n");
        QTest::newRow("commented key is not the key") << QByteArray("[A]\n;a=5\n") << "set"
                                                      << "A"
                                                      << "a"
                                                      << "2" << QByteArray("[A]\na=2\n;a=5\n");
        QTest::newRow("keys before the first section are not in it")
            << QByteArray("a=1\n[A]\n") << "set"
            << "A"
            << "a"
            << "2" << QByteArray("a=1\n[A]\na=2\n");
        QTest::newRow("byte-order mark kept") << QByteArray("\xEF\xBB\xBF[A]\na=1\n") << "set"
                                              << "A"
                                              << "a"
                                              << "2" << QByteArray("\xEF\xBB\xBF[A]\na=2\n");
        QTest::newRow("delete key") << QByteArray("[A]\na=1\nb=2\n[B]\na=3\n") << "del"
                                    << "a"
                                    << "A"
                                    << "" << QByteArray("[A]\nb=2\n[B]\na=3\n");
        QTest::newRow("delete missing key changes nothing") << QByteArray("[A]\r\nb=2") << "del"
                                                            << "A"
                                                            << "x"
                                                            << "" << QByteArray("[A]\r\nb=2");
        QTest::newRow("delete key in every copy of the section")
            << QByteArray("[A]\na=1\n[B]\n[a]\na=2\nc=3\n") << "del"
            << "A"
            << "a"
            << "" << QByteArray("[A]\n[B]\n[a]\nc=3\n");
        QTest::newRow("erase section in the middle")
            << QByteArray("[A]\na=1\n[VERSION]\nVer=1.00\n; old\nx=1\n\n[B]\nb=1\n") << "erase"
            << "version"
            << ""
            << "" << QByteArray("[A]\na=1\n\n[B]\nb=1\n");
        QTest::newRow("erase last section")
            << QByteArray("[A]\na=1\n[VERSION]\r\nVer=1.00\r\n") << "erase"
            << "VERSION"
            << ""
            << "" << QByteArray("[A]\na=1\n");
        QTest::newRow("erase missing section changes nothing") << QByteArray("[A]\na=1") << "erase"
                                                               << "VERSION"
                                                               << ""
                                                               << "" << QByteArray("[A]\na=1");
    }
    void edit() {
        QFETCH(QByteArray, before);
        QFETCH(QString, op);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        // The delete rows name the key in the section column's place.
        if (op == u"del")
            std::swap(section, key);
        QCOMPARE(Edit(before, op, section, key, value), after);
    }

    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("value");
        QTest::newRow("simple") << QByteArray("[A]\nk=v\n") << "A"
                                << "k" << true << "v";
        QTest::newRow("case-insensitive") << QByteArray("[a]\nK=v\n") << "A"
                                          << "k" << true << "v";
        QTest::newRow("first duplicate wins") << QByteArray("[A]\nk=1\nk=2\n") << "A"
                                              << "k" << true << "1";
        QTest::newRow("second copy of a section") << QByteArray("[A]\n[B]\n[A]\nk=2\n") << "A"
                                                  << "k" << true << "2";
        QTest::newRow("key in other section") << QByteArray("[B]\nk=v\n") << "A"
                                              << "k" << false << "";
        QTest::newRow("comment") << QByteArray("[A]\n; k=v\n") << "A"
                                 << "k" << false << "";
        QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << "A"
                                     << "k" << true << "";
        QTest::newRow("CRLF not in value") << QByteArray("[A]\r\nk=v\r\n") << "A"
                                           << "k" << true << "v";
        QTest::newRow("header with trailing text") << QByteArray("[A] ; note\nk=v\n") << "A"
                                                   << "k" << true << "v";
        QTest::newRow("unclosed header is no section") << QByteArray("[A\nk=v\n") << "A"
                                                       << "k" << false << "";
        QTest::newRow("NUL bytes in the file")
            << QByteArray("[A]\nk=a\0b\n", 10) << "A"
            << "k" << true << QString(QStringView(u"a\0b", 3).toString());
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(QString, value);
        QString raw;
        QCOMPARE(TIniDocument::FromBytes(file).RawValue(section, key, raw), found);
        if (found)
            QCOMPARE(raw, value);
    }

    void shiftJisFileIsDecoded() {
        QStringEncoder sjis("Shift_JIS");
        QVERIFY(sjis.isValid());
        // 表 and ソ end in the byte 0x5C; they must not split the text.
        const QString path = QStringLiteral("/home/user/表ソ画像");
        const QByteArray bytes =
            sjis.encode(QStringLiteral("[PATH]\r\nCurrentPath=") + path + QStringLiteral("\r\n"));
        const TIniDocument doc = TIniDocument::FromBytes(bytes);
        QVERIFY(doc.WasShiftJis());
        QString raw;
        QVERIFY(doc.RawValue("PATH", "CurrentPath", raw));
        QCOMPARE(raw, path);
        // Rewritten as UTF-8 with its line ends.
        QCOMPARE(
            doc.ToBytes(),
            (QStringLiteral("[PATH]\r\nCurrentPath=") + path + QStringLiteral("\r\n")).toUtf8());
    }

    void utf16FileIsDecoded() {
        const QString text = QStringLiteral("[PATH]\r\nPath0=/写真\r\n");
        QByteArray le("\xFF\xFE");
        for (QChar c : text)
            le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        const TIniDocument doc = TIniDocument::FromBytes(le);
        QString raw;
        QVERIFY(doc.RawValue("PATH", "Path0", raw));
        QCOMPARE(raw, QString("/写真"));
        QCOMPARE(doc.ToBytes(), text.toUtf8());
    }

    void binaryGarbageNeverBreaks() {
        QRandomGenerator gen(20261207);
        for (int round = 0; round < 20; ++round) {
            QByteArray junk(4096 + round * 997, Qt::Uninitialized);
            for (char& c : junk)
                c = char(gen.bounded(256));
            TIniDocument doc = TIniDocument::FromBytes(junk);
            QString raw;
            doc.RawValue("WINDOW", "Top", raw);
            doc.SetValue("WINDOW", "Top", "5");
            QVERIFY(doc.RawValue("WINDOW", "Top", raw));
            QCOMPARE(raw, QString("5"));
            // What was written reads back the same from the stored bytes.
            QVERIFY(TIniDocument::FromBytes(doc.ToBytes()).RawValue("WINDOW", "Top", raw));
            QCOMPARE(raw, QString("5"));
        }
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"

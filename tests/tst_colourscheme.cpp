// Light or dark: which scheme a setting leads to, and that every text of the dark palette and every
// mark of the list is readable on what it is drawn on in both schemes.
#include "core/app/ColourScheme.h"

#include <QTest>

using colourscheme::Scheme;
using MaybeScheme = std::optional<Scheme>;

class TestColourScheme : public QObject {
    Q_OBJECT
private slots:
    void fromPortal_data() {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<MaybeScheme>("scheme");
        QTest::newRow("no preference") << quint32(0) << MaybeScheme();
        QTest::newRow("prefer dark") << quint32(1) << MaybeScheme(Scheme::Dark);
        QTest::newRow("prefer light") << quint32(2) << MaybeScheme(Scheme::Light);
        QTest::newRow("a value not known yet") << quint32(3) << MaybeScheme();
        QTest::newRow("garbage") << quint32(0xffffffff) << MaybeScheme();
    }
    void fromPortal() {
        QFETCH(quint32, value);
        QFETCH(MaybeScheme, scheme);
        QCOMPARE(colourscheme::fromPortal(value), scheme);
    }

    void decide_data() {
        QTest::addColumn<QString>("forced");
        QTest::addColumn<MaybeScheme>("desktop");
        QTest::addColumn<int>("platformLightness");
        QTest::addColumn<Scheme>("scheme");
        QTest::newRow("desktop dark over a light platform") << QString() << MaybeScheme(Scheme::Dark) << 239 << Scheme::Dark;
        QTest::newRow("desktop light over a dark platform") << QString() << MaybeScheme(Scheme::Light) << 40 << Scheme::Light;
        QTest::newRow("no preference: the platform's dark") << QString() << MaybeScheme() << 40 << Scheme::Dark;
        QTest::newRow("no preference: the platform's light") << QString() << MaybeScheme() << 239 << Scheme::Light;
        QTest::newRow("forced dark wins") << QStringLiteral(" Dark ") << MaybeScheme(Scheme::Light) << 239 << Scheme::Dark;
        QTest::newRow("forced light wins") << QStringLiteral("light") << MaybeScheme(Scheme::Dark) << 40 << Scheme::Light;
        QTest::newRow("forced nonsense is ignored") << QStringLiteral("purple") << MaybeScheme(Scheme::Dark) << 239
                                                    << Scheme::Dark;
    }
    void decide() {
        QFETCH(QString, forced);
        QFETCH(MaybeScheme, desktop);
        QFETCH(int, platformLightness);
        QFETCH(Scheme, scheme);
        QCOMPARE(colourscheme::decide(forced, desktop, platformLightness), scheme);
    }

    // Text needs a contrast of 4.5 (WCAG AA); disabled text is meant to look faint, but not vanish.
    void readable_data() {
        QTest::addColumn<quint32>("foreground");
        QTest::addColumn<quint32>("background");
        QTest::addColumn<double>("needed");
        const colourscheme::DarkColours& d = colourscheme::dark();
        const colourscheme::Marks darkMarks = colourscheme::marksFor(Scheme::Dark);
        QTest::newRow("dark: text on the list") << d.text << d.base << 4.5;
        QTest::newRow("dark: text on alternate rows") << d.text << d.alternateBase << 4.5;
        QTest::newRow("dark: window text") << d.windowText << d.window << 4.5;
        QTest::newRow("dark: buttons") << d.buttonText << d.button << 4.5;
        QTest::newRow("dark: selection") << d.highlightedText << d.highlight << 4.5;
        QTest::newRow("dark: links") << d.link << d.base << 4.5;
        QTest::newRow("dark: tooltips") << d.toolTipText << d.toolTipBase << 4.5;
        QTest::newRow("dark: placeholder") << d.placeholderText << d.base << 4.5;
        QTest::newRow("dark: disabled") << d.disabledText << d.window << 3.0;
        QTest::newRow("dark: today's birthday") << darkMarks.today << d.base << 4.5;
        QTest::newRow("dark: today's birthday, alternate row") << darkMarks.today << d.alternateBase << 4.5;
        QTest::newRow("dark: warning beside a box") << darkMarks.warning << d.window << 4.5;
        // A light desktop's list is white or nearly (Fusion: base white, alternate #f7f7f7, window #efefef).
        const colourscheme::Marks lightMarks = colourscheme::marksFor(Scheme::Light);
        QTest::newRow("light: today's birthday") << lightMarks.today << quint32(0xffffff) << 4.5;
        QTest::newRow("light: today's birthday, alternate row") << lightMarks.today << quint32(0xf7f7f7) << 4.5;
        QTest::newRow("light: warning beside a box") << lightMarks.warning << quint32(0xefefef) << 4.5;
        // The light scheme's mark on the dark list is what the dark scheme must not use.
        QTest::newRow("marks differ where one would sink") << lightMarks.today << d.base << 0.0;
    }
    void readable() {
        QFETCH(quint32, foreground);
        QFETCH(quint32, background);
        QFETCH(double, needed);
        const double ratio = colourscheme::contrastRatio(foreground, background);
        if (needed == 0.0)
            QVERIFY2(ratio < 4.5, qPrintable(QString::number(ratio)));
        else
            QVERIFY2(ratio >= needed, qPrintable(QString::number(ratio)));
    }

    void contrastRatio() {
        QCOMPARE(qRound(colourscheme::contrastRatio(0x000000, 0xffffff) * 100), 2100);
        QCOMPARE(colourscheme::contrastRatio(0x777777, 0x777777), 1.0);
        QCOMPARE(colourscheme::contrastRatio(0x123456, 0xfedcba), colourscheme::contrastRatio(0xfedcba, 0x123456));
    }
};

QTEST_GUILESS_MAIN(TestColourScheme)
#include "tst_colourscheme.moc"

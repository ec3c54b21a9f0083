// The one shuffle: permutations, ties, the level pools and an even spread of first places.

#include "testsupport.h"
#include "ui/main/levelpage.h"

#include <QLabel>
#include <QSet>
#include <QTest>

namespace {

// Hands out a fixed list of keys and counts the reseeds.
class ScriptedRandom : public RandomSource {
public:
    explicit ScriptedRandom(QList<float> keys) : m_keys(std::move(keys)) {}
    float next() override { return m_keys.isEmpty() ? 0.0f : m_keys[m_next++ % m_keys.size()]; }
    void reseedFromClock() override { ++reseeds; }
    int reseeds = 0;

private:
    QList<float> m_keys;
    int m_next = 0;
};

QList<int> order(const ApplicationState &s, int n) {
    QList<int> out;
    for (int i = 0; i < n; ++i)
        out << s.QuestionOrder[i];
    return out;
}

// The fact index a question label shows, from its full-width factors.
int factOf(const QString &text) {
    const int a = text[0].unicode() - u'０';
    const int b = text[4].unicode() - u'０';
    return (a - 1) * 9 + (b - 1);
}

} // namespace

class TestShuffle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyDrawIsAPermutation_data();
    void everyDrawIsAPermutation();
    void descendingKeysTiesToLowerPosition_data();
    void descendingKeysTiesToLowerPosition();
    void levelPoolsRespected_data();
    void levelPoolsRespected();
    void firstPlaceEvenlySpread();
};

void TestShuffle::everyDrawIsAPermutation_data() {
    QTest::addColumn<int>("n");
    for (int n : {1, 9, 36, 81, 82})
        QTest::addRow("N=%d", n) << n;
}

void TestShuffle::everyDrawIsAPermutation() {
    QFETCH(int, n);
    ApplicationState s;
    MersenneRandomSource random(false, 4711u);
    for (int draw = 0; draw < 300; ++draw) {
        Shuffle(s, n, random);
        QList<int> sorted = order(s, n);
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < n; ++i)
            QCOMPARE(sorted[i], i);
    }
}

void TestShuffle::descendingKeysTiesToLowerPosition_data() {
    QTest::addColumn<QList<float>>("keys");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("descending") << QList<float>{0.2f, 0.9f, 0.5f, 0.1f} << QList<int>{1, 2, 0, 3};
    QTest::newRow("two equal") << QList<float>{0.5f, 0.9f, 0.5f, 0.1f} << QList<int>{1, 0, 2, 3};
    QTest::newRow("all equal") << QList<float>{0.3f, 0.3f, 0.3f} << QList<int>{0, 1, 2};
    // A drawn key of exactly 0 must not let a taken position be drawn again.
    QTest::newRow("zero keys") << QList<float>{0.0f, 0.0f, 0.7f} << QList<int>{2, 0, 1};
    QTest::newRow("first key zero")
        << QList<float>{0.0f, 0.4f, 0.0f, 0.4f} << QList<int>{1, 3, 0, 2};
}

void TestShuffle::descendingKeysTiesToLowerPosition() {
    QFETCH(QList<float>, keys);
    QFETCH(QList<int>, expected);
    ApplicationState s;
    ScriptedRandom random(keys);
    Shuffle(s, int(keys.size()), random);
    QCOMPARE(order(s, int(keys.size())), expected);
}

void TestShuffle::levelPoolsRespected_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("lowestFactor");
    QTest::addColumn<int>("highestFactor");
    QTest::newRow("Novice") << 0 << 2 << 5;
    QTest::newRow("Intermediate") << 1 << 6 << 9;
    QTest::newRow("Expert") << 2 << 1 << 9;
}

void TestShuffle::levelPoolsRespected() {
    QFETCH(int, level);
    QFETCH(int, lowestFactor);
    QFETCH(int, highestFactor);
    TestMain t;
    LevelPage *page = t.window->levelPage(Activity(level));
    QSet<int> seen;
    for (int set = 0; set < 200; ++set) {
        page->retry();
        QSet<int> facts;
        for (int i = 0; i < LevelPage::kQuestions; ++i) {
            const int fact = factOf(page->questionLabel(i)->text());
            const int first = fact / 9 + 1;
            QVERIFY2(first >= lowestFactor && first <= highestFactor,
                     qPrintable(page->questionLabel(i)->text()));
            QCOMPARE(int(page->expectedAnswer(i)), int(t.state.FactProduct[fact]));
            facts.insert(fact);
            seen.insert(fact);
        }
        QCOMPARE(facts.size(), LevelPage::kQuestions); // no fact twice in a set
    }
    // Over many sets the whole pool turns up.
    QCOMPARE(seen.size(), (highestFactor - lowestFactor + 1) * 9);

    // Every set reseeds the generator once before it draws.
    ScriptedRandom scripted({0.25f, 0.75f, 0.5f});
    t.window->setRandomSource(&scripted);
    page->retry();
    page->retry();
    QCOMPARE(scripted.reseeds, 2);
    t.window->setRandomSource(&t.random);
}

void TestShuffle::firstPlaceEvenlySpread() {
    // With a fixed seed: how often each of the 36 positions comes first in 36000 draws.
    // A chi-square statistic above 66.6 (35 degrees of freedom, 0.1 %) would mean a bias.
    constexpr int n = 36;
    constexpr int draws = 36000;
    ApplicationState s;
    MersenneRandomSource random(false, 20261206u);
    QList<int> firsts(n, 0);
    for (int d = 0; d < draws; ++d) {
        Shuffle(s, n, random);
        ++firsts[s.QuestionOrder[0]];
    }
    const double expected = double(draws) / n;
    double chi = 0;
    for (int count : firsts)
        chi += (count - expected) * (count - expected) / expected;
    QVERIFY2(chi < 66.6, qPrintable(QString::number(chi)));
}

QTEST_MAIN(TestShuffle)
#include "tst_shuffle.moc"

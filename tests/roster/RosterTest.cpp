// Reading rosters: columns found by their headers, CSV as spreadsheets write
// it, and problems that name the line and column where they are.

#include "tests/testkit/fixtures/RosterScene.h"

using namespace sorrelby;
using namespace sorrelby::testkit::rosterscene;

TEST(Roster, ColumnsAreFoundByTheirHeaders)
{
    // Semicolons, a byte-order mark, headers in other cases and spellings.
    Roster roster = Roster::fromCsv("\xEF\xBB\xBF"
                                    "Nr;Given_Name;SURNAME;Class;QR-Code;Parent e-mail\n"
                                    "1;Emma;Larsen;3B;A1042;emma@example.org\n");
    ASSERT_TRUE(roster.isUsable()) << joined(problemTexts(roster));
    ASSERT_EQ(roster.subjects.size(), 1u);
    const RosterSubject &emma = roster.subjects[0];
    EXPECT_EQ(emma.code, QStringLiteral("A1042"));
    EXPECT_EQ(emma.displayName(), QStringLiteral("Emma Larsen"));
    EXPECT_EQ(emma.group, QStringLiteral("3B"));
    EXPECT_EQ(roster.extraColumns, (QStringList{"Nr", "Parent e-mail"}));
    EXPECT_EQ(emma.extra, (QStringList{"1", "emma@example.org"}));
    EXPECT_EQ(emma.line, 2);
    EXPECT_EQ(roster.rowOf(QStringLiteral("A1042")), 0);

    // A single name column stands for the whole name; no group column at all.
    roster = Roster::fromCsv("ID,Name\nB7,Noah Berg\n");
    ASSERT_TRUE(roster.isUsable()) << joined(problemTexts(roster));
    EXPECT_EQ(roster.subjects[0].displayName(), QStringLiteral("Noah Berg"));
    EXPECT_TRUE(roster.subjects[0].group.isEmpty());

    // Codes compare exactly as file names carry them: case and "_" count.
    roster = Roster::fromCsv("code\nSMITH_JOHN\na1\n");
    EXPECT_EQ(roster.rowOf(QStringLiteral("SMITH_JOHN")), 0);
    EXPECT_EQ(roster.rowOf(QStringLiteral("A1")), -1);
    EXPECT_EQ(roster.rowOf(QStringLiteral("a1")), 1);

    // Two columns for one part cannot be guessed between.
    roster = Roster::fromCsv("ID,Barcode,Name\n1,A1,Emma\n");
    EXPECT_EQ(problemTexts(roster).value(0).left(18), QStringLiteral("line 1, column 2: "));
}

TEST(Roster, QuotedFieldsAndLineEnds)
{
    // Doubled quotes, the delimiter and line breaks inside quotes, CRLF and
    // a lone CR, blank lines and rows of empty cells: each record keeps the
    // line it starts on.
    const QByteArray text = "Code,First Name,Last Name,Group,Note\r\n"
                            "A1,\"Emma \"\"Em\"\"\",\"Larsen, Jr.\",3B,\"two\r\nlines\"\r\n"
                            "\r\n"
                            ",,,,\r"
                            "A2,Noah,Berg,3B,\n"
                            "\"\",Ida,Holm,3A,\n";
    const CsvTable table = parseCsv(text);
    ASSERT_FALSE(table.problem);
    ASSERT_EQ(table.records.size(), 6);
    EXPECT_EQ(table.records[1].fields.value(4), QStringLiteral("two\nlines"));
    EXPECT_EQ(table.records[4].line, 6);

    const Roster roster = Roster::fromCsv(text);
    ASSERT_EQ(roster.subjects.size(), 2u);
    EXPECT_EQ(roster.subjects[0].firstName, QStringLiteral("Emma \"Em\""));
    EXPECT_EQ(roster.subjects[0].lastName, QStringLiteral("Larsen, Jr."));
    EXPECT_EQ(roster.subjects[1].line, 6);
    // The quoted empty code on the last line, found after the line break
    // inside the first record.
    EXPECT_EQ(joined(problemTexts(roster)), "line 7, column 1: the code is empty");

    // What the report writes reads back the same.
    const QStringList fields{"a,b", "say \"hi\"", "x\ny", "", "plain"};
    const CsvTable back = parseCsv(csvLine(fields) + csvLine({"z"}));
    ASSERT_EQ(back.records.size(), 2);
    EXPECT_EQ(back.records[0].fields, fields);
    EXPECT_EQ(back.records[1].line, 3);
}

TEST(Roster, ReportCellsNeverRunAsFormulas)
{
    // A name from the roster and a file name from the card reach the
    // school's spreadsheet: neither may run there.
    auto roster = std::make_shared<Roster>(Roster::fromCsv("Code,Name,Class\n=1+1,=HYPERLINK(\"http://x\"),+3B\n"));
    ASSERT_TRUE(roster->isUsable());
    ReportPhoto photo;
    photo.fileName = QStringLiteral("=1+1_IMG_0001.JPG");
    photo.code = QStringLiteral("=1+1");
    const CsvTable table = parseCsv(reportCsv(makeShootReport(QStringLiteral("/x"), roster, {photo})));
    ASSERT_EQ(table.records.size(), 2);
    EXPECT_EQ(table.records[1].fields.mid(0, 4), (QStringList{"'=1+1_IMG_0001.JPG", "'=1+1", "'=HYPERLINK(\"http://x\")", "'+3B"}));
    EXPECT_EQ(spreadsheetSafe(QStringLiteral("-5")), QStringLiteral("'-5"));
    EXPECT_EQ(spreadsheetSafe(QStringLiteral("A1")), QStringLiteral("A1"));
}

TEST(Roster, ProblemsNameLineAndColumn)
{
    const Roster roster = Roster::fromCsv("First Name;Code;Class\n"
                                          "Emma;A1;3B\n"
                                          "Noah;;3B\n"
                                          "Ida;A1;3A\n"
                                          "Theo;AB/12;3A\n"
                                          "Alma;...;3A\n"
                                          "Hugo;A2;3A;Larsen;x\n"
                                          "  Clara ; A3 ;3A\n");
    EXPECT_EQ(joined(problemTexts(roster)),
              "line 3, column 2: the code is empty\n"
              "line 4, column 2: the code \"A1\" is already on line 2\n"
              "line 5, column 2: the code \"AB/12\" is written \"AB:12\" in file names; use that\n"
              "line 6, column 2: the code \"...\" cannot stand in a file name\n"
              "line 7, column 4: 5 fields where the header has 3 (a \",\" or \";\" inside a name must be quoted)");
    EXPECT_FALSE(roster.isUsable());
    // The rows without problems are read, blanks around fields trimmed.
    ASSERT_EQ(roster.subjects.size(), 2u);
    EXPECT_EQ(roster.subjects[1].code, QStringLiteral("A3"));
    EXPECT_EQ(roster.subjects[1].firstName, QStringLiteral("Clara"));

    // Problems of the whole file.
    EXPECT_EQ(joined(problemTexts(Roster::fromCsv("Name,Class\nEmma,3B\n"))),
              "line 1: no column named \"code\" (or \"id\", \"barcode\") in the header");
    EXPECT_EQ(joined(problemTexts(Roster::fromCsv("Code,Name\nA1,Emma\nA2,\"Noah\nA3,Ida\n"))),
              "line 3, column 2: a quoted field is never closed (a \" is missing)");
    EXPECT_EQ(joined(problemTexts(Roster::fromCsv("Code,Name\nA1,Emma\nA2,Bj\xF8rn\n"))),
              "line 3: the text is not UTF-8 (save the file as \"CSV UTF-8\")");
    EXPECT_EQ(joined(problemTexts(Roster::fromCsv("\n\n"))), "line 1: the file is empty; a header row naming the columns comes first");
    EXPECT_EQ(joined(problemTexts(Roster::fromFile(QStringLiteral("/nonexistent/roster.csv")))).substr(0, 24), "cannot read the roster: ");
}

#include "tools/qvn/command.h"

namespace docket::qvn_tool {

int runErrors(int argc, char** argv);
int runEval(int argc, char** argv);
int runFormat(int argc, char** argv);
int runDeformat(int argc, char** argv);
int runInfo(int argc, char** argv);
int runCheck(int argc, char** argv);
int runTables(int argc, char** argv);
int runDump(int argc, char** argv);
int runImport(int argc, char** argv);
int runMemo(int argc, char** argv);
int runRtf(int argc, char** argv);

namespace {

const char* const kDumpHelp =
    "Prints the records of a table, decoded by the definition stored with the table, memos included.\n"
    "\n"
    "  FILE[\\!TABLE]   the physical file and the table in it (UNNAMED when no table is named)\n"
    "  --key K         in the order of key K: its label, its label without the prefix, or its\n"
    "                  number from 1 (qvn tables lists them); default: record order\n"
    "  --filter EXPR   only the records for which the expression is true; every field and memo is\n"
    "                  bound by its label (MEM:MEMO_ID) and, when no other field shares it, by the\n"
    "                  label without its prefix (MEMO_ID)\n"
    "  --csv           CSV with a header row; --json an array of objects; default one line per\n"
    "                  record with a header line, values separated by \" | \"\n"
    "\n"
    "Values show through the field's picture when it has one; dates as yyyy-mm-dd, times as\n"
    "hh:mm:ss, a zero date or time as nothing.\n";

const char* const kImportHelp =
    "Adds one record per CSV row read from standard input to a table, creating the table first\n"
    "when it is missing.\n"
    "\n"
    "  qvn import FILE[\\!TABLE] --schema SCHEMA < rows.csv\n"
    "\n"
    "The schema: fields separated by \",\", each NAME:TYPE, then for each key \";KEY NAME=\" and its\n"
    "components \"+FIELD\" (ascending) or \"-FIELD\" (descending) joined by \",\", followed by any of\n"
    "the words PRIMARY, DUP, NOCASE, OPT after a blank:\n"
    "\n"
    "  ID:LONG,NAME:CSTRING(41),NOTE:MEMO(2000);KEY ID_KEY=+ID PRIMARY;KEY NAME_KEY=+NAME DUP NOCASE\n"
    "\n"
    "Types: BYTE, SHORT, USHORT, LONG, ULONG, DATE, TIME, SREAL, REAL, DECIMAL(digits,places),\n"
    "STRING(n), CSTRING(n), PSTRING(n) (n counts the terminator or length byte), MEMO(n) up to\n"
    "64000, BLOB. When the table exists the schema must match its definition; without --schema an\n"
    "existing table's own definition is used.\n"
    "\n"
    "The first row names the columns: field or memo labels, or labels without their prefix. Missing\n"
    "columns leave their fields empty. Cells: numbers as written (\"-12.5\"), dates yyyy-mm-dd,\n"
    "times hh:mm:ss, memos as text; CSV quoting as usual (\"a, \"\"b\"\"\" holds a comma and quotes).\n"
    "\n"
    "A row that cannot be stored (a bad number or date, a value too long, a duplicate key) is\n"
    "reported as \"line N: reason\" on standard error and the next row goes on; every other row is\n"
    "added. A summary line follows. Exit code 0 when every row went in, 1 when rows were refused,\n"
    "2 when nothing could be done (bad schema, unknown column, file or table not to be opened).\n";

const char* const kMemoHelp =
    "The memo register's demo data, through the application's own data dictionary and table access.\n"
    "\n"
    "  qvn memo seed DIR --count N [--seed S]\n"
    "      creates or extends \"MEMO.DB\" and \"JENIS.DB\" in DIR with N generated memos (memo numbers\n"
    "      like \"017/DIR/2024\", subjects from a word list, rich-text bodies of 300 to 3000 bytes) of\n"
    "      ten memo types; the same seed (default 1) gives the same memos.\n"
    "  qvn memo list DIR [--order entry|number|date] [--filter EXPR]\n"
    "      prints the memos with their type names, newest entry first by default; the filter is an\n"
    "      expression over the MEM: and JEN: fields and MEM:Isi_Memo (the body).\n"
    "  qvn memo show DIR ID [--text|--rtf]\n"
    "      prints the body of the memo with entry number ID, as UTF-8 text (default) or as stored RTF.\n";

} // namespace

std::span<const Command> commands() {
    static const Command table[] = {
        {"errors", "", "print the runtime's error codes and their texts", runErrors},
        {"eval", "[--bind NAME=VALUE]... EXPR", "print the value of an expression (EVALUATE)", runEval},
        {"format", "VALUE @PICTURE", "print VALUE formatted by the picture, between | marks", runFormat},
        {"deformat", "TEXT @PICTURE", "print the value read from TEXT by the picture, between | marks",
         runDeformat},
        {"info", "FILE [--password P]", "show a native file's header, page classes, tree and tables",
         runInfo},
        {"check", "FILE [--password P]", "check every page and table of a native file; exit 1 when damaged",
         runCheck},
        {"tables", "FILE [--password P]", "list the tables of a native file with record counts and keys",
         runTables},
        {"dump", "FILE[\\!TABLE] [--key K] [--filter EXPR] [--csv|--json]", "print a table's records",
         runDump, kDumpHelp},
        {"memo", "seed DIR --count N [--seed S] | list DIR [--order entry|number|date] [--filter EXPR]",
         "add generated demo memos to the memo register in DIR, or list its memos", runMemo, kMemoHelp},
        {"rtf", "text FILE | write FILE", "print an RTF file's words as UTF-8 text, or write it back as docket does",
         runRtf},
        {"import", "FILE[\\!TABLE] --schema SCHEMA < CSV",
         "add CSV rows to a table, creating it when missing", runImport, kImportHelp},
    };
    return table;
}

} // namespace docket::qvn_tool

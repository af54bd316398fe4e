#include "history/Journal.h"

#include "platform/FileName.h"

#include <QList>

namespace {
const char kOps[] = "SURXIA";
const char* const kKinds[] = {"copy", "move", "trash", "delete"};

// FNV-1a, 64 bits: enough to tell a whole record from a damaged one.
quint64 Check(QByteArrayView data) {
    quint64 h = 14695981039346656037ULL;
    for (char c : data) {
        h ^= quint8(c);
        h *= 1099511628211ULL;
    }
    return h;
}

// A path's bytes, percent-encoded so that it holds no blank and no line end;
// "-" stands for an empty path.
QByteArray EncodePath(const QString& path) {
    if (path.isEmpty())
        return "-";
    return PathToBytes(path).toPercentEncoding("/", "-");
}

bool DecodePath(const QByteArray& field, QString& path) {
    if (field == "-") {
        path.clear();
        return true;
    }
    if (field.isEmpty() || field.contains('-'))
        return false;
    path = PathFromBytes(QByteArray::fromPercentEncoding(field));
    return true;
}

bool DecodeNumber(const QByteArray& field, qint64& value) {
    bool ok = false;
    value = field.toLongLong(&ok);
    return ok;
}
} // namespace

QByteArray JournalHeader() {
    return "Velmo journal 1\n";
}

QByteArray EncodeRecord(const TJournalRecord& record) {
    const THistoryStep& s = record.Step;
    QByteArray body;
    body += kOps[record.Op];
    body += ' ' + QByteArray::number(s.Id);
    body += ' ' + QByteArray(kKinds[s.Kind]);
    body += ' ' + EncodePath(s.Source);
    body += ' ' + EncodePath(s.Target);
    body += ' ' + QByteArray::number(s.Stamp.Size);
    body += ' ' + QByteArray::number(s.Stamp.Modified);
    body += ' ' + (s.Stamp.Hash.isEmpty() ? QByteArray("-") : s.Stamp.Hash.toHex());
    body += ' ' + EncodePath(s.Replaced);
    body += s.Identical ? " 1" : " 0";
    // Older journals end here. Then tagged fields, each "letter=value":
    // the result's inode, the intent, and an intent's planned record and
    // members ("m=source,target,size,time").
    if (s.Stamp.Inode)
        body += " n=" + QByteArray::number(s.Stamp.Inode);
    if (record.Intent)
        body += " i=" + QByteArray::number(record.Intent);
    if (record.Op == joIntent) {
        body += " p=" + QByteArray(1, kOps[record.Planned]);
        for (const TIntentMember& m : record.Members)
            body += " m=" + EncodePath(m.Source) + ',' + EncodePath(m.Target) + ',' +
                    QByteArray::number(m.Stamp.Size) + ',' + QByteArray::number(m.Stamp.Modified);
    }
    return body + ' ' + QByteArray::number(Check(body), 16).rightJustified(16, '0') + '\n';
}

bool DecodeRecord(QByteArrayView line, TJournalRecord& record) {
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank < 0 || line.size() - blank - 1 != 16)
        return false;
    const QByteArrayView body = line.first(blank);
    bool ok = false;
    if (line.sliced(blank + 1).toByteArray().toULongLong(&ok, 16) != Check(body) || !ok)
        return false;
    const QList<QByteArray> f = body.toByteArray().split(' ');
    if (f.size() < 10 || f[0].size() != 1)
        return false;
    const char* op = f[0].at(0) ? strchr(kOps, f[0].at(0)) : nullptr;
    if (!op)
        return false;
    TJournalRecord r;
    r.Op = TJournalOp(op - kOps);
    bool planned = false;
    for (qsizetype i = 10; i < f.size(); ++i) {
        const QByteArray& x = f[i];
        if (x.size() < 3 || x.at(1) != '=')
            return false;
        const QByteArray value = x.mid(2);
        switch (x.at(0)) {
        case 'n':
            r.Step.Stamp.Inode = value.toULongLong(&ok);
            break;
        case 'i':
            r.Intent = value.toULongLong(&ok);
            ok = ok && r.Intent;
            break;
        case 'p': {
            const char* p = value.size() == 1 ? strchr(kOps, value.at(0)) : nullptr;
            ok = p && p - kOps <= joRedone;
            planned = ok;
            if (ok)
                r.Planned = TJournalOp(p - kOps);
            break;
        }
        case 'm': {
            const QList<QByteArray> m = value.split(',');
            TIntentMember member;
            ok = m.size() == 4 && DecodePath(m[0], member.Source) &&
                 DecodePath(m[1], member.Target) && DecodeNumber(m[2], member.Stamp.Size) &&
                 DecodeNumber(m[3], member.Stamp.Modified);
            r.Members.push_back(member);
            break;
        }
        default:
            ok = true; // a field of a later version
        }
        if (!ok)
            return false;
    }
    if ((r.Op == joIntent) != (planned && !r.Members.empty()) ||
        ((r.Op == joIntent || r.Op == joAbandon) && !r.Intent))
        return false;
    THistoryStep& s = r.Step;
    s.Id = f[1].toULongLong(&ok);
    if (!ok)
        return false;
    int kind = 0;
    while (kind < 4 && f[2] != kKinds[kind])
        ++kind;
    if (kind == 4)
        return false;
    s.Kind = TStepKind(kind);
    if (!DecodePath(f[3], s.Source) || !DecodePath(f[4], s.Target) ||
        !DecodeNumber(f[5], s.Stamp.Size) || !DecodeNumber(f[6], s.Stamp.Modified) ||
        !DecodePath(f[8], s.Replaced) || (f[9] != "0" && f[9] != "1"))
        return false;
    if (f[7] != "-")
        s.Stamp.Hash = QByteArray::fromHex(f[7]);
    s.Identical = f[9] == "1";
    record = r;
    return true;
}

TJournalScan ScanJournal(const QByteArray& contents) {
    TJournalScan scan;
    const QByteArray header = JournalHeader();
    if (contents.size() < header.size()) {
        // Nothing yet, or a header cut short while the journal was begun.
        if (!header.startsWith(contents))
            scan.Status = TJournalScan::jsUnreadable;
        else if (!contents.isEmpty())
            scan.Status = TJournalScan::jsTornTail;
        return scan;
    }
    if (!contents.startsWith(header)) {
        scan.Status = TJournalScan::jsUnreadable;
        return scan;
    }
    qsizetype at = header.size();
    scan.GoodLength = at;
    while (at < contents.size()) {
        const qsizetype end = contents.indexOf('\n', at);
        if (end < 0) {
            scan.Status = TJournalScan::jsTornTail;
            break;
        }
        TJournalRecord record;
        if (!DecodeRecord(QByteArrayView(contents).sliced(at, end - at), record)) {
            scan.Status = TJournalScan::jsUnreadable;
            scan.Records.clear();
            break;
        }
        scan.Records.push_back(record);
        at = end + 1;
        scan.GoodLength = at;
    }
    return scan;
}

void ApplyRecord(THistoryState& state, const TJournalRecord& record) {
    auto& steps = state.Steps;
    if (record.Intent) {
        auto& pending = state.Pending;
        std::erase_if(pending, [&](const TJournalRecord& p) { return p.Intent == record.Intent; });
        if (record.Op == joIntent)
            pending.push_back(record);
    }
    switch (record.Op) {
    case joIntent:
    case joAbandon:
        break;
    case joDone:
        steps.resize(size_t(state.Done));
        steps.push_back(record.Step);
        if (int(steps.size()) > kHistoryLimit)
            steps.erase(steps.begin(), steps.begin() + (int(steps.size()) - kHistoryLimit));
        state.Done = int(steps.size());
        break;
    case joUndone:
        if (state.Done > 0 && steps[size_t(state.Done - 1)].Id == record.Step.Id)
            steps[size_t(--state.Done)] = record.Step;
        break;
    case joRedone:
        if (state.Done < int(steps.size()) && steps[size_t(state.Done)].Id == record.Step.Id)
            steps[size_t(state.Done++)] = record.Step;
        break;
    case joDropped:
        if (state.Done > 0 && steps[size_t(state.Done - 1)].Id == record.Step.Id)
            steps.erase(steps.begin() + --state.Done);
        break;
    }
}

std::vector<TJournalRecord> RecordsFor(const THistoryState& state) {
    std::vector<TJournalRecord> records;
    for (const THistoryStep& step : state.Steps)
        records.push_back({joDone, step});
    for (int i = int(state.Steps.size()) - 1; i >= state.Done; --i)
        records.push_back({joUndone, state.Steps[size_t(i)]});
    records.insert(records.end(), state.Pending.begin(), state.Pending.end());
    return records;
}

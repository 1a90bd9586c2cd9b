// The benchmark's job with DuckDB (see ../peers.awk): the export read as CSV
// with its header, the seven fields written fully quoted with CR LF, the date
// as mm/dd/yy and the time as hh:mm am/pm.
//   node peer.mjs SOURCE OUTPUT THREADS
import { DuckDBInstance } from '@duckdb/node-api';

const [source, output, threads] = process.argv.slice(2);
const db = await DuckDBInstance.create(':memory:', { threads: String(threads) });
const connection = await db.connect();
const literal = (text) => "'" + text.replace(/'/g, "''") + "'";
// Each output line is one text column; control characters as the CSV
// writer's delimiter and quote keep it from quoting the line again.
await connection.run(`COPY (
  SELECT '"' || Patient || '","' || Phone || '","' ||
         strftime(strptime(Date, '%m/%d/%Y'), '%m/%d/%y') || '","' ||
         lower(strftime(strptime(Time, '%I:%M %p'), '%I:%M %p')) || '","' ||
         Doctor || '","' || Location || '","' || Email || '"'
  FROM read_csv(${literal(source)}, header = true, all_varchar = true, delim = ',', quote = '"')
) TO ${literal(output)} (FORMAT csv, HEADER false, DELIMITER '\x01', QUOTE '\x02', ESCAPE '\x02',
                        NEW_LINE '\r\n')`);

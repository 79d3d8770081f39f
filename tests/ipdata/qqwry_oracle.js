// The qqwry.dat answers of the lib-qqwry package's own reader, for the tests of ours:
//   node qqwry_oracle.js <package folder> <file of addresses, one a line>
// prints "country<TAB>area" for each address, in order.
'use strict';
const fs = require('fs');
const [packageDir, addressFile] = process.argv.slice(2);
const qqwry = require(packageDir)(true);
const out = [];
for (const line of fs.readFileSync(addressFile, 'utf8').split('\n')) {
    if (line === '') continue;
    const found = qqwry.searchIP(line);
    out.push(`${found.Country}\t${found.Area}`);
}
process.stdout.write(out.join('\n') + '\n');

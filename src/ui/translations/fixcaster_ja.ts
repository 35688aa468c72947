<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="en">
<context>
    <name>FormMain</name>
    <message>
        <source> NMEA Output </source>
        <translation> NMEA出力 </translation>
    </message>
    <message>
        <source> Track setting </source>
        <translation> コース設定 </translation>
    </message>
    <message>
        <source> Output condition </source>
        <translation> 出力条件 </translation>
    </message>
    <message>
        <source> Output </source>
        <translation> 出力 </translation>
    </message>
    <message>
        <source>Point</source>
        <translation>ポイント</translation>
    </message>
    <message>
        <source>Time(UTC)</source>
        <translation>時刻(UTC)</translation>
    </message>
    <message>
        <source>Latitude</source>
        <translation>緯度</translation>
    </message>
    <message>
        <source>Longitude</source>
        <translation>経度</translation>
    </message>
    <message>
        <source>Altitude(m)</source>
        <translation>標高(m)</translation>
    </message>
    <message>
        <source>Speed(km/h)</source>
        <translation>速度(km/h)</translation>
    </message>
    <message>
        <source> Latitude</source>
        <translation> 緯度</translation>
    </message>
    <message>
        <source> Longitude</source>
        <translation> 経度</translation>
    </message>
    <message>
        <source> Altitude</source>
        <translation> 標高</translation>
    </message>
    <message>
        <source> Speed</source>
        <translation> 速度</translation>
    </message>
    <message>
        <source>Period</source>
        <translation>出力周期</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>出力</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>インターバル</translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation>プリフィックス</translation>
    </message>
    <message>
        <source>Output port</source>
        <translation>出力ポート</translation>
    </message>
    <message>
        <source>TCP port</source>
        <translation>TCPポート</translation>
    </message>
    <message>
        <source>Speed(bps)</source>
        <translation>速度(bps)</translation>
    </message>
    <message>
        <source>Geoid</source>
        <translation>ジオイド高</translation>
    </message>
    <message>
        <source>GPS Quality/Mode Indicator</source>
        <translation>GPS品質/モード表示</translation>
    </message>
    <message>
        <source>Lat/Lon dec.</source>
        <translation>緯度経度小数</translation>
    </message>
    <message>
        <source>digit</source>
        <translation>桁</translation>
    </message>
    <message>
        <source>Second dec.</source>
        <translation>秒小数</translation>
    </message>
    <message>
        <source>RMC precede</source>
        <translation>RMC先行</translation>
    </message>
    <message>
        <source>NMEA Version<byte value="xd"/>
  2.3: With MODE<byte value="xd"/>
  4.1: With MODE and Navigation Status</source>
        <translation>NMEA Version<byte value="xd"/>
  2.3: MODE付加<byte value="xd"/>
  4.1: MODEとNavigation Status付加</translation>
    </message>
    <message>
        <source>Navigation Status</source>
        <translation>Navigation Status</translation>
    </message>
    <message>
        <source>Change to km/h -&gt; mph -&gt; knot</source>
        <translation>単位変更 km/h → mph → knot</translation>
    </message>
    <message>
        <source>Monitor display of NMEA sentence</source>
        <translation>NMEAセンテンスのモニタ表示</translation>
    </message>
    <message>
        <source>Digits of decimal parts in the Latitude and Longitude</source>
        <translation>緯度経度の分小数部分の桁数を指定</translation>
    </message>
    <message>
        <source>Digit number at less than second of time</source>
        <translation>時刻の秒小数部分の桁数を指定</translation>
    </message>
    <message>
        <source>Distance and Time required (current span/total)</source>
        <translation>距離と所要時間（現スパン／総合計）</translation>
    </message>
    <message>
        <source>Repetition output</source>
        <translation>繰り返し出力</translation>
    </message>
    <message>
        <source>RMC precedes GGA</source>
        <translation>RMCがGGAに先行する</translation>
    </message>
    <message>
        <source>Change the prefix string</source>
        <translation>プリフィックス文字列を変更する</translation>
    </message>
    <message>
        <source>Please open RS-232C or TCP</source>
        <translation>RS-232CまたはTCPをオープンしてください</translation>
    </message>
    <message>
        <source>More than 2 tracks with speed greater than zero are required</source>
        <translation>速度がゼロ以上のトラックが２つ以上必要です</translation>
    </message>
    <message>
        <source>Baud rate is too low</source>
        <translation>ボーレートが低すぎる</translation>
    </message>
    <message>
        <source>Remaining of Send buffer: </source>
        <translation>送信バッファ残: </translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>バイト</translation>
    </message>
    <message>
        <source>Lack of CPU power</source>
        <translation>CPUパワー不足</translation>
    </message>
    <message>
        <source>Please lengthen an output period</source>
        <translation>出力周期を長くしてください</translation>
    </message>
    <message>
        <source>Communication speed of the RS-232C is invalid</source>
        <translation>RS-232Cの通信速度が不正です</translation>
    </message>
    <message>
        <source>Cannot open serial port: </source>
        <translation>シリアルポートをオープンできませんでした. ポート: </translation>
    </message>
    <message>
        <source>TCP server can not be opened</source>
        <translation>TCPサーバーをオープンできません</translation>
    </message>
    <message>
        <source>Latitude exceeds +-90˚</source>
        <translation>緯度が±90°を超えています</translation>
    </message>
    <message>
        <source>Longitude exceeds +-180˚</source>
        <translation>経度が±180°を超えています</translation>
    </message>
    <message>
        <source>Format of the numerical value is illegal</source>
        <translation>数値の書式が不正です</translation>
    </message>
    <message>
        <source>File not Found: </source>
        <translation>ファイルが見つかりません: </translation>
    </message>
    <message>
        <source>File could not be created</source>
        <translation>ファイルを作成できませんでした</translation>
    </message>
    <message>
        <source>Settings file is read-only: </source>
        <translation>設定ファイルは読み取り専用です: </translation>
    </message>
    <message>
        <source>Settings could not be saved: </source>
        <translation>設定を保存できませんでした: </translation>
    </message>
    <message>
        <source>Settings file is larger than 1 GiB; it is neither read nor written: </source>
        <translation>設定ファイルが1 GiBを超えているため、読み込みも書き込みもしません: </translation>
    </message>
    <message>
        <source>Settings file is a loop of symbolic links: </source>
        <translation>設定ファイルのシンボリックリンクがループしています: </translation>
    </message>
    <message>
        <source>Speed(mph)</source>
        <translation>速度(mph)</translation>
    </message>
    <message>
        <source>Speed(knot)</source>
        <translation>速度(knot)</translation>
    </message>
</context>
</TS>

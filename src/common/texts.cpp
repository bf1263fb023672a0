#include "texts.h"

namespace zarn {

std::atomic<uint8_t> LanguageIndex{kRussian};

Phrase::Phrase(const TextPair& pair, QStringList args) { pieces_.push_back({&pair, {}, std::move(args)}); }

Phrase::Phrase(QString literal) {
  if (!literal.isEmpty()) pieces_.push_back({nullptr, std::move(literal), {}});
}

Phrase& Phrase::operator+=(const Phrase& other) {
  pieces_.insert(pieces_.end(), other.pieces_.begin(), other.pieces_.end());
  return *this;
}

bool Phrase::IsEmpty() const {
  for (const Piece& piece : pieces_)
    if (piece.pair ? !piece.pair->In(kRussian).isEmpty() || !piece.pair->In(kEnglish).isEmpty()
                   : !piece.literal.isEmpty())
      return false;
  return true;
}

QString Phrase::Str(int language) const {
  QString out;
  for (const Piece& piece : pieces_) {
    if (!piece.pair) {
      out += piece.literal;
      continue;
    }
    // %1 ... %9 in one pass, so that an argument holding "%2" stays as it is.
    const QStringView text = piece.pair->In(language);
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar c = text[i];
      if (c == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
        const qsizetype n = text[i + 1].unicode() - u'1';
        if (n < piece.args.size()) {
          out += piece.args[n];
          ++i;
          continue;
        }
      }
      out += c;
    }
  }
  return out;
}

QString Phrase::operator()() const { return Str(LanguageIndex.load(std::memory_order_relaxed)); }

const TextPair txtMenuFile{u"Файл", u"File"};
const TextPair txtOpen{u"Открыть...", u"Open..."};
const TextPair txtSave{u"Сохранить...", u"Save..."};
const TextPair txtPrintReport{u"Печать отчета...", u"Print Report..."};
const TextPair txtPrintSheets{u"Печать листов серий...", u"Print Series Sheets..."};
const TextPair txtOpenReport{u"Открыть отчет...", u"Open Report..."};
const TextPair txtExit{u"Выход", u"Exit"};
const TextPair txtMenuEdit{u"Правка", u"Edit"};
const TextPair txtCopyTable1{u"Копировать таблицу 1 в буфер обмена", u"Copy table 1 to clipboard"};
const TextPair txtCopySelection{u"Копировать выделенное в буфер обмена", u"Copy select to clipboard"};
const TextPair txtCopyTable2{u"Копировать таблицу 2 в буфер обмена", u"Copy table 2 to clipboard"};
const TextPair txtCopyChart{u"Копировать график в буфер обмена", u"Copy chart to clipboard"};
const TextPair txtCopyChartData{u"Копировать данные графика в буфер обмена",
                                u"Copy data chart to clipboard"};
const TextPair txtMenuCommands{u"Команды", u"Command"};
const TextPair txtReadFromDevice{u"Чтение из прибора", u"Read from Device"};
const TextPair txtMaterialsEdit{u"Редактирование параметров материалов", u"Materials parameters edit"};
const TextPair txtObjectsEdit{u"Редактирование названий объектов", u"Objects names edit"};
const TextPair txtArchiveWindow{u"Архив измерений...", u"Measurement archive..."};
const TextPair txtMenuParameters{u"Параметры", u"Parameters"};
const TextPair txtMenuLanguage{u"Язык (Language)", u"Language (Язык)"};
const TextPair txtMenuUnit{u"Размерность", u"Unit"};
const TextPair txtUnitMPa{u"МПа", u"MPa"};
const TextPair txtUnitKgf{u"кгс/см2", u"kgs/sm2"};
const TextPair txtMenuHelp{u"Помощь", u"Help"};
const TextPair txtHelpHlp{u"Помощь (hlp)", u"Help (hlp)"};
const TextPair txtHelpChm{u"Помощь (chm)", u"Help (chm)"};
const TextPair txtAbout{u"О программе...", u"About..."};
const TextPair txtAppTitle{u"Zarn-2.5/2.6", u"Zarn-2.5/2.6"};

const TextPair txtNumber{u"№", u"№"};
const TextPair txtDate{u"Дата", u"Date"};
const TextPair txtTime{u"Время", u"Time"};
const TextPair txtStrength{u"Прочность", u"Strength"};
const TextPair txtMaterial{u"Материал", u"Material"};
const TextPair txtObject{u"Объект", u"Object"};
const TextPair txtDirection{u"Направление", u"Direction"};
const TextPair txtVariation{u"К.вариации", u"Variation"};
const TextPair txtSwing{u"Размах", u"Sving"};
const TextPair txtImpacts{u"Ударов", u"Impacts"};
const TextPair txtDateFormat{u"д.м.г", u"d:m:y"};
const TextPair txtTimeFormat{u"ч:м:с", u"h:m:s"};
const TextPair txtPercent{u"%", u"%"};
const TextPair txtNthImpact{u"-й удар", u"-st impact"};
const TextPair txtImpactAmplitude{u"Амплитуда удара, В", u"Impacts amplitude, V"};
const TextPair txtRecoilAmplitude{u"Амплитуда отскока, В", u"Recoils amplitude, V"};
const TextPair txtImpactDuration{u"Длительность удара, мкс", u"Impacts duration, mks"};
const TextPair txtRecoilDuration{u"Длительность отскока, мкс", u"Recoil duration, mks"};
const TextPair txtImpactEnergy{u"Энергия удара, В*мс", u"Impacts energy, V*ms"};
const TextPair txtRecoilEnergy{u"Энергия отскока, В*мс", u"Recoil energy, V*ms"};
const TextPair txtStrengthMPa{u"Прочность, МПа", u"Strength, MPa"};
const TextPair txtStrengthKgf{u"Прочность, кгс/см2", u"Strength, kgs/sm2"};
const TextPair txtMaterialCoefficients{u"Коэффициенты материала", u"Material coefficients"};
const TextPair txtReportTitle{u"Измеренные значения прочности", u"Meassured strength values"};
const TextPair txtDirUp{u"Вверх", u"Up"};
const TextPair txtDirSide{u"В сторону", u"Side"};
const TextPair txtDirDown{u"Вниз", u"Down"};
const TextPair* const txtDirections[3] = {&txtDirUp, &txtDirSide, &txtDirDown};

const TextPair txtOpenFileTitle{u"Открыть файл...", u"Open file..."};
const TextPair txtSaveAsTitle{u"Сохранить как...", u"Save as..."};
const TextPair txtFileDamaged{u"Файл не читается или испорчен", u"File is not readable or damaged"};
const TextPair txtFileQuote{u"Файл \"", u"File \""};
const TextPair txtCantCreateFile{
    u"Не удается создать файл. Возможно, нет места на диске или диск защищен от записи",
    u"Can't create data file. It may be no free space or disk is write protected"};

const TextPair txtStatusCheckConnection{u"Проверьте подключение", u"Check Connection"};
const TextPair txtStatusReadingVersion{u"Чтение версии", u"Version Read"};
const TextPair txtStatusReadingParameters{u"Чтение параметров", u"Parameters Read"};
const TextPair txtStatusDataRead{u"Данные считаны", u"Data Readed"};
const TextPair txtStatusParamRead{u"Параметры считаны", u"Param Readed"};
const TextPair txtStatusParamWritten{u"Параметры записаны", u"Param Writed"};
const TextPair txtStatusNoData{u"Данных нет", u"No Data"};
const TextPair txtStatusLinkError{u"Ошибка связи", u"Link Error"};
const TextPair txtStatusInUse{u"Прибор занят другой программой",
                              u"Instrument is in use by another program"};

const TextPair txtBlockVersion{u"версия прибора", u"the version text"};
const TextPair txtBlockParameters{u"блок параметров", u"the parameter block"};
const TextPair txtBlockMaterials{u"блок материалов", u"the materials block"};
const TextPair txtBlockData{u"память данных", u"the data memory"};
const TextPair txtBlockObjects{u"блок объектов", u"the objects block"};
const TextPair txtBlockMaterialsWrite{u"запись блока материалов", u"writing the materials block"};
const TextPair txtBlockObjectsWrite{u"запись блока объектов", u"writing the objects block"};
const TextPair txtOutcomeRead{u"Считано из прибора", u"Read from the instrument"};
const TextPair txtOutcomeWritten{u"Записано в прибор", u"Written to the instrument"};
const TextPair txtOutcomeNotConnected{u"Прибор не подключен", u"The instrument is not connected"};
// Refused while the loop reads the instrument or another request is with it.
const TextPair txtOutcomeBusy{u"Прибор занят: идёт обмен данными. Повторите, когда он закончится",
                              u"The instrument is busy: a transfer is under way. Try again when it has finished"};
const TextPair txtOutcomeReplacedByFile{u"Не выполнено: открыт файл данных",
                                        u"Not done: a data file was opened meanwhile"};
const TextPair txtOutcomeTimedOut{u"Прибор не ответил вовремя", u"The instrument did not answer in time"};
const TextPair txtOutcomeMayHoldPart{u"прибор мог принять часть блока, запишите ещё раз",
                                     u"the instrument may hold part of the block, send it again"};
const TextPair txtFaultNoTransport{u"нет связи с прибором", u"no link to the instrument"};
const TextPair txtFaultCommand{u"команда не передана", u"the command could not be sent"};
const TextPair txtFaultBlockWrite{u"блок не передан целиком", u"the block could not be sent whole"};
const TextPair txtFaultNoReply{u"прибор не ответил", u"the instrument did not answer"};
const TextPair txtFaultReplyCut{u"ответ оборвался", u"the reply stopped short"};
const TextPair txtFaultReplyTooLong{u"ответ длиной %1 байт не помещается в %2 байт",
                                    u"the reply announced %1 bytes, the block holds %2"};

}  // namespace zarn

#!/usr/bin/perl
# compare_metadata.pl SOURCE OUTPUT...
#
# Reads SOURCE and the OUTPUTs the reference host wrote from it with
# ExifTool's library (a reader that shares no code with the host) and checks
# that every EXIF, maker-note, XMP, IPTC-IIM and ICC value of SOURCE arrives,
# with its value, in each OUTPUT. Excused are only what the host makes true
# of the upright picture it writes (orientation, pixel dimensions), what
# describes how the source stored its pixels, the thumbnail, and what a
# format has no place for: IPTC-IIM in PNG, WebP, AVIF and JPEG XL, whose XMP must then
# carry the IPTC Core fields instead (with the IIM's value, where the
# source's own XMP did not have that property already), and the TIFF fields
# that describe pixels. Prints one line per file: how many values were
# checked and whether all arrived; exits 1 when one did not, or when the
# source holds nothing to check.
use strict;
use warnings;
use Image::ExifTool;

die "usage: compare_metadata.pl SOURCE OUTPUT...\n" unless @ARGV >= 2;
my ($source, @outputs) = @ARGV;

# Fields the host rewrites, or that describe how a file stores its pixels.
# (rdf:about names the resource the XMP describes, not a property of it;
# exiv2 writes it empty.)
my %rewritten = map { $_ => 1 } qw(
    IFD0:Orientation IFD0:ImageWidth IFD0:ImageHeight IFD0:BitsPerSample IFD0:Compression
    IFD0:PhotometricInterpretation IFD0:StripOffsets IFD0:SamplesPerPixel IFD0:RowsPerStrip
    IFD0:StripByteCounts IFD0:PlanarConfiguration IFD0:Predictor IFD0:ExtraSamples IFD0:SampleFormat
    IFD0:SubfileType IFD0:OldSubfileType IFD0:FillOrder IFD0:TileWidth IFD0:TileLength IFD0:TileOffsets
    IFD0:TileByteCounts IFD0:SubIFD IFD0:YCbCrSubSampling IFD0:YCbCrCoefficients IFD0:ColorMap
    IFD0:JPEGTables IFD0:ImageSourceData IFD0:PhotoshopSettings IFD0:IPTC-NAA IFD0:ApplicationNotes
    IFD0:ICC_Profile
    ExifIFD:ExifImageWidth ExifIFD:ExifImageHeight
    XMP-tiff:Orientation XMP-tiff:ImageWidth XMP-tiff:ImageHeight XMP-exif:ExifImageWidth
    XMP-exif:ExifImageHeight XMP-x:XMPToolkit XMP-xmpNote:HasExtendedXMP XMP-rdf:About
);
# TIFF keeps these among the fields of its pixels; the host's TIFF writer
# sets its own (resolution excepted, which it takes from the EXIF).
my %tiffPixelFields = map { $_ => 1 } qw(
    IFD0:YCbCrPositioning IFD0:ReferenceBlackWhite IFD0:TransferFunction IFD0:WhitePoint
    IFD0:PrimaryChromaticities IFD0:HalftoneHints IFD0:GrayResponseUnit IFD0:PageNumber
);
# IPTC-IIM fields and the XMP properties that carry them where IIM has no place.
my %iptcCore = (
    'IPTC:By-line' => 'XMP-dc:Creator', 'IPTC:CopyrightNotice' => 'XMP-dc:Rights',
    'IPTC:Keywords' => 'XMP-dc:Subject', 'IPTC:ObjectName' => 'XMP-dc:Title',
    'IPTC:Caption-Abstract' => 'XMP-dc:Description', 'IPTC:City' => 'XMP-photoshop:City',
    'IPTC:Credit' => 'XMP-photoshop:Credit',
);

# "Family0:Family1:Name" => value, for the groups the host keeps.
sub valuesOf {
    my ($file) = @_;
    my $exifTool = Image::ExifTool->new;
    $exifTool->Options(PrintConv => 0, Duplicates => 1, Binary => 1, Unknown => 1, List => 1);
    my $info = $exifTool->ImageInfo($file);
    die "ExifTool cannot read $file: $info->{Error}\n" if $info->{Error};
    my %values;
    foreach my $key (keys %$info) {
        my $family0 = $exifTool->GetGroup($key, 0);
        my $family1 = $exifTool->GetGroup($key, 1);
        next unless $family0 =~ /^(EXIF|MakerNotes|XMP|IPTC|ICC_Profile)$/;
        next if $family0 eq 'EXIF' && $family1 !~ /^(IFD0|ExifIFD|GPS|InteropIFD)$/;
        my $value = $info->{$key};
        $value = $$value if ref $value eq 'SCALAR';
        $value = join(', ', @$value) if ref $value eq 'ARRAY';
        my $name = "$family1:" . Image::ExifTool::GetTagName($key);
        push @{ $values{$name} }, defined $value ? $value : '';
    }
    return \%values;
}

# An ICC profile for other data than RGB (grey, CMYK) is not kept.
sub keepsProfile {
    my ($values) = @_;
    my $space = $values->{'ICC-header:ColorSpaceData'};
    return !$space || $space->[0] =~ /^RGB/;
}

sub short { my ($text) = @_; $text =~ s/[^\x20-\x7e]/./g; return length $text > 60 ? substr($text, 0, 57) . '...' : $text }

my $expected = valuesOf($source);
my $failed = 0;
foreach my $output (@outputs) {
    my $actual = valuesOf($output);
    my ($format) = $output =~ /\.(\w+)$/;
    my $noIptc = $format =~ /^(png|webp|avif|jxl)$/i;
    my ($checked, @missing) = (0);
    foreach my $name (sort keys %$expected) {
        next if $rewritten{$name};
        # Where a maker note points into itself: it moves with the note.
        next if $name =~ /^(MakerNotes|PreviewIFD|[A-Za-z0-9]+):\w*(Offset|Start)s?$/ && $name !~ /^(IFD0|ExifIFD|GPS|InteropIFD|XMP|IPTC|ICC)/;
        next if $format =~ /^tiff?$/i && $tiffPixelFields{$name};
        next if $name =~ /^ICC/ && !keepsProfile($expected);
        # ExifTool reads no ICC profile from a JPEG XL codestream.
        next if $name =~ /^ICC/ && $format =~ /^jxl$/i;
        my $want = $name;
        if ($noIptc && $name =~ /^IPTC:/) {
            # Carried by the XMP: with the IIM's value, unless the source's
            # XMP held that property already (it is checked as XMP then).
            $want = $iptcCore{$name} or next;
            ++$checked;
            next if $expected->{$want};
            my $value = join(', ', @{ $expected->{$name} });
            my $got = join(', ', @{ $actual->{$want} || [] });
            push @missing, "$name = '" . short($value) . "' (as $want, got '" . short($got) . "')" unless $got eq $value;
            next;
        }
        foreach my $value (@{ $expected->{$name} }) {
            ++$checked;
            next if grep { $_ eq $value } @{ $actual->{$name} || [] };
            my $got = $actual->{$name} ? short($actual->{$name}[0]) : 'absent';
            push @missing, "$name = '" . short($value) . "' (got $got)";
        }
    }
    if ($checked == 0) {
        print "$source: nothing to compare (ExifTool reads no metadata in it)\n";
        $failed = 1;
    }
    printf "%s -> %s: %d values, %s\n", $source, $output, $checked, @missing ? scalar(@missing) . ' missing' : 'all arrived';
    print "  missing $_\n" foreach @missing;
    $failed = 1 if @missing;
}
exit $failed;

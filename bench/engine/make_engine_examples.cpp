// Writes the sample pictures of examples/: damaged pictures with known
// damage, each with the parameter file a user of the front end would have
// written (in examples/params/, where the program's own runs on the examples,
// which write beside the pictures, leave them alone), so that every operation
// of veltro.exe can be tried at once from the examples folder.
//   make_engine_examples [DIR]      (DIR defaults to the source's examples/)
// Sources: Debian's opencv-doc sample photographs and a generated page.

#include "SyntheticDamage.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace veltro::bench;

namespace {

void Write(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool Save(const std::string& path, const cv::Mat& image)
{
    if (!cv::imwrite(path, image, {cv::IMWRITE_JPEG_QUALITY, 92})) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The front end writes rows counted from the bottom under the "X" keys.
std::string Point(int index, cv::Point p, int height)
{
    return "Y" + std::to_string(index) + "\t" + std::to_string(p.x) + "\nX" + std::to_string(index) + "\t" +
           std::to_string(height - 1 - p.y) + "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string out = argc > 1 ? argv[1] : VELTRO_EXAMPLES_DIR;
    const std::string data = SampleDataDir();
    const cv::Mat fruits = cv::imread(data + "/fruits.jpg"), home = cv::imread(data + "/home.jpg"),
                  squirrel = cv::imread(data + "/squirrel_cls.jpg");
    if (fruits.empty() || home.empty() || squirrel.empty()) {
        std::fprintf(stderr, "The sample photographs are missing (%s): install the package opencv-doc.\n", data.c_str());
        return 1;
    }
    std::filesystem::create_directories(out + "/params");
    cv::RNG rng(2026);

    const Damaged blotch = AddBlotches(fruits, rng, 7, 6, 16);
    Save(out + "/blotch_photo.jpg", blotch.image);
    // Named as the program proposes the mask for blotch_photo.jpg, so that
    // Processing > Blotch on the example needs nothing typed. A JPEG at full
    // quality keeps the marks well clear of the 128 threshold.
    cv::imwrite(out + "/blotch_photo_mask.jpg", blotch.userMask, {cv::IMWRITE_JPEG_QUALITY, 100});
    // The Blotch dialog's own distance and width, so that the shell and the
    // program give the same result.
    Write(out + "/params/blotch.log", "DIST\t7\nCOST\t10\nMASKFILE\tblotch_photo_mask.jpg\n");

    const Damaged crack = AddCrack(home, rng, 250, 320);
    Save(out + "/crack_photo.jpg", crack.image);
    Write(out + "/params/crack.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n" +
                                  Point(1, crack.p1, home.rows) + Point(2, crack.p2, home.rows));

    const cv::Mat page = MakeDocumentPage(cv::Size(560, 720), rng);
    const Damaged fox = AddFoxing(page, rng, 22, 4, 16);
    Save(out + "/fox_page.jpg", fox.image);
    Write(out + "/params/fox.log", "DIST\t3\nCOST\t2\nAMP\t0.050000\n");

    const Damaged crease = AddCrease(squirrel, rng);
    Save(out + "/crease_photo.jpg", crease.image);
    const cv::Rect r = crease.region;
    // Corner 1 is the lower left, corner 2 the upper right.
    Write(out + "/params/crease.log", "THR1\t10.000000\nQ\t22\nN\t25\n" + Point(1, cv::Point(r.x, r.br().y - 1), squirrel.rows) +
                                   Point(2, cv::Point(r.br().x - 1, r.y), squirrel.rows));
    std::printf("Examples written to %s\n", out.c_str());
    return 0;
}
